// The alarm catalogues the controller ships: what each alarm number means, why
// it comes and how to clear it, in English and in Chinese.
#include "defaults.h"

using nlohmann::json;

namespace varlosim {

namespace {

struct Entry
{
    int id;
    int level;
    const char *en[3];   // description, cause, solution
    const char *zh[3];
};

json toCatalogue(const Entry *entries, std::size_t count)
{
    json catalogue = json::array();
    for (std::size_t i = 0; i < count; ++i) {
        const Entry &e = entries[i];
        catalogue.push_back({{"id", e.id},
                             {"level", e.level},
                             {"en", {{"description", e.en[0]}, {"cause", e.en[1]}, {"solution", e.en[2]}}},
                             {"zh_CN", {{"description", e.zh[0]}, {"cause", e.zh[1]}, {"solution", e.zh[2]}}}});
    }
    return catalogue;
}

const Entry kControllerAlarms[] = {
    {1, 3, {"Emergency stop pressed", "The emergency stop button of the panel or of the safety IO was pressed.",
            "Release the emergency stop, then clear the alarms and enable the arm again."},
           {"急停按下", "示教器或安全IO的急停按钮被按下。", "松开急停按钮，清除报警后重新使能。"}},
    {2, 3, {"Collision detected", "The joint torques left the band of the selected collision level.",
            "Move the obstacle away, reset the collision and clear the alarms."},
           {"检测到碰撞", "关节力矩超出所选碰撞等级的范围。", "移开障碍物，复位碰撞并清除报警。"}},
    {3, 2, {"Electronic skin contact", "The electronic skin sensed an object within the avoidance distance.",
            "Clear the area around the arm and reset the electronic skin."},
           {"电子皮肤触发", "电子皮肤在避让距离内检测到物体。", "清理机械臂周围区域并复位电子皮肤。"}},
    {4, 3, {"Safeguard stop", "The safeguard input of the safety IO opened.",
            "Close the safeguard, then clear the alarms."},
           {"安全防护停止", "安全IO的防护输入断开。", "关闭安全防护后清除报警。"}},
    {5, 3, {"Arm power off", "The power of the arm was switched off while it was enabled.",
            "Switch the arm power on and enable the arm again."},
           {"机械臂断电", "使能状态下机械臂电源被关闭。", "打开机械臂电源后重新使能。"}},
    {6, 2, {"Enabling switch released", "The three-position switch was released during a manual motion.",
            "Press the three-position switch to its middle position to continue."},
           {"使能开关松开", "手动运动过程中三位置使能开关被松开。", "将三位置开关按到中间档继续。"}},
    {7, 2, {"Mode changed during motion", "The auto/manual key was turned while the arm moved.",
            "Turn the key back or restart the motion."},
           {"运动中切换模式", "机械臂运动时切换了自动/手动钥匙。", "将钥匙转回或重新开始运动。"}},
    {10, 2, {"Joint limit reached", "A joint reached its software limit.",
             "Move the joint back into its range in joint jog mode."},
            {"关节限位", "关节到达软限位。", "在关节点动模式下将关节移回范围内。"}},
    {11, 2, {"Target not reachable", "The Cartesian target lies outside the workspace of the arm.",
             "Choose a target inside the workspace or another arm configuration."},
            {"目标点不可达", "笛卡尔目标点超出机械臂工作空间。", "选择工作空间内的目标点或其他手系配置。"}},
    {12, 2, {"Path not reachable", "A linear path leaves the workspace or passes a singularity.",
             "Use a joint motion or add an intermediate point."},
            {"路径不可达", "直线路径超出工作空间或经过奇异点。", "改用关节运动或增加中间点。"}},
    {13, 2, {"Speed limit exceeded", "The commanded speed exceeded the limit of the safe mode.",
             "Lower the speed ratio or the motion speed."},
            {"超出速度限制", "指令速度超过安全模式限制。", "降低速度比例或运动速度。"}},
    {14, 1, {"Motion refused", "A motion was commanded while the arm was not enabled.",
             "Enable the arm before commanding motions."},
            {"运动被拒绝", "机械臂未使能时下发了运动指令。", "下发运动指令前先使能机械臂。"}},
    {15, 2, {"Singularity", "The arm came too close to a singular configuration.",
             "Jog in joint mode away from the singularity."},
            {"奇异点", "机械臂接近奇异位形。", "在关节模式下点动离开奇异点。"}},
    {20, 3, {"Servo communication lost", "The controller received no frame from a servo drive.",
             "Check the EtherCAT cabling and restart the controller."},
            {"伺服通讯中断", "控制器未收到伺服驱动器的数据帧。", "检查EtherCAT线缆并重启控制器。"}},
    {21, 2, {"Servo not ready", "A servo drive did not report ready after enabling.",
             "Check the drive's alarms and enable again."},
            {"伺服未就绪", "使能后伺服驱动器未报告就绪。", "检查驱动器报警后重新使能。"}},
    {22, 3, {"Servo alarm", "A servo drive raised an alarm of its own.",
             "Look up the servo alarm and clear it."},
            {"伺服报警", "伺服驱动器产生报警。", "查询伺服报警并清除。"}},
    {30, 2, {"Controller over-temperature", "The temperature inside the controller cabinet is too high.",
             "Check the fans and the ambient temperature."},
            {"控制器过温", "控制柜内部温度过高。", "检查风扇及环境温度。"}},
    {31, 3, {"Bus voltage low", "The DC bus voltage dropped below its lower limit.",
             "Check the power supply of the controller."},
            {"母线电压过低", "直流母线电压低于下限。", "检查控制器供电。"}},
    {32, 3, {"Bus voltage high", "The DC bus voltage rose above its upper limit.",
             "Check the braking resistor and the deceleration settings."},
            {"母线电压过高", "直流母线电压高于上限。", "检查制动电阻及减速参数。"}},
    {40, 1, {"Script error", "The running script stopped on an error.",
             "Read the script output, correct the script and run it again."},
            {"脚本错误", "运行中的脚本因错误停止。", "查看脚本输出，修改后重新运行。"}},
    {41, 1, {"Script file not found", "The project to run has no main script.",
             "Select a project that holds a script."},
            {"脚本文件不存在", "要运行的工程没有主脚本。", "选择包含脚本的工程。"}},
    {50, 1, {"Configuration document invalid", "A settings document could not be read.",
             "Restore the document from a backup or write it again."},
            {"配置文件无效", "无法读取设置文件。", "从备份恢复或重新写入该文件。"}},
    {51, 2, {"Payload out of range", "The payload set is larger than the arm may carry.",
             "Set a payload within the rating of the arm."},
            {"负载超出范围", "设置的负载超过机械臂额定负载。", "设置额定范围内的负载。"}},
    {52, 1, {"Tool frame invalid", "The selected tool frame is not enabled.",
             "Enable the tool frame or select another one."},
            {"工具坐标系无效", "所选工具坐标系未启用。", "启用该工具坐标系或选择其他坐标系。"}},
    {53, 1, {"User frame invalid", "The selected user frame is not enabled.",
             "Enable the user frame or select another one."},
            {"用户坐标系无效", "所选用户坐标系未启用。", "启用该用户坐标系或选择其他坐标系。"}},
    {60, 1, {"Brake released", "A joint brake is released while the arm is disabled.",
             "Close the brake before leaving the arm."},
            {"抱闸已松开", "机械臂未使能时关节抱闸处于松开状态。", "离开前关闭抱闸。"}},
    {61, 2, {"Drag mode speed too high", "The arm was moved too fast by hand in drag mode.",
             "Guide the arm more slowly."},
            {"拖动速度过快", "拖动模式下手动移动速度过快。", "放慢拖动速度。"}},
    {70, 1, {"Force sensor not zeroed", "The six-axis force sensor has no zero reference.",
             "Zero the force sensor with no load applied."},
            {"力传感器未置零", "六维力传感器没有零点参考。", "在无负载时对力传感器置零。"}},
};

const Entry kServoAlarms[] = {
    {1, 3, {"Over-current", "The motor current exceeded the drive's limit.",
            "Check the load and the motor cable; lower the acceleration."},
           {"过流", "电机电流超过驱动器限值。", "检查负载及电机线缆，降低加速度。"}},
    {2, 3, {"Over-voltage", "The drive's DC bus voltage is too high.",
            "Check the braking resistor; lower the deceleration."},
           {"过压", "驱动器直流母线电压过高。", "检查制动电阻，降低减速度。"}},
    {3, 3, {"Under-voltage", "The drive's DC bus voltage is too low.",
            "Check the power supply of the drive."},
           {"欠压", "驱动器直流母线电压过低。", "检查驱动器供电。"}},
    {4, 3, {"Encoder communication error", "The drive lost the connection to the motor encoder.",
            "Check the encoder cable and its connectors."},
           {"编码器通讯错误", "驱动器与电机编码器通讯中断。", "检查编码器线缆及接头。"}},
    {5, 1, {"Encoder battery low", "The battery that keeps the multi-turn position is weak.",
            "Replace the encoder battery with the controller switched on."},
           {"编码器电池电量低", "保持多圈位置的电池电量不足。", "在控制器通电状态下更换编码器电池。"}},
    {6, 2, {"Motor over-temperature", "The motor winding is too hot.",
            "Let the motor cool down; reduce the duty cycle."},
           {"电机过温", "电机绕组温度过高。", "待电机冷却，降低运行负荷。"}},
    {7, 2, {"Drive over-temperature", "The power stage of the drive is too hot.",
            "Check the cooling of the drive."},
           {"驱动器过温", "驱动器功率模块温度过高。", "检查驱动器散热。"}},
    {8, 3, {"Following error too large", "The motor lags too far behind the commanded position.",
            "Check for obstruction; lower the speed or tune the gains."},
           {"位置跟随误差过大", "电机实际位置落后指令位置过多。", "检查是否有阻挡，降低速度或调整增益。"}},
    {9, 2, {"Overload", "The motor ran above its rated torque for too long.",
            "Reduce the payload or the speed."},
           {"过载", "电机长时间超过额定转矩运行。", "减小负载或速度。"}},
    {10, 3, {"Brake fault", "The holding brake did not open or close as commanded.",
             "Check the brake wiring and its supply."},
            {"抱闸故障", "抱闸未按指令打开或关闭。", "检查抱闸接线及供电。"}},
    {11, 3, {"Phase loss", "A motor phase is not connected.",
             "Check the motor power cable."},
            {"缺相", "电机某一相未连接。", "检查电机动力线。"}},
    {12, 3, {"Safe torque off active", "The STO input of the drive is open.",
             "Close the safety circuit, then clear the alarm."},
            {"安全转矩关断", "驱动器STO输入断开。", "闭合安全回路后清除报警。"}},
    {13, 2, {"Speed deviation too large", "The motor speed differs too much from the command.",
             "Check the load and tune the velocity loop."},
            {"速度偏差过大", "电机速度与指令偏差过大。", "检查负载并调整速度环参数。"}},
    {14, 3, {"Encoder data error", "The encoder reported an inconsistent position.",
             "Restart the controller; replace the encoder if it repeats."},
            {"编码器数据错误", "编码器位置数据不一致。", "重启控制器，反复出现请更换编码器。"}},
    {15, 2, {"Position limit of the drive", "The drive's own position limit was reached.",
             "Move the joint back and check the software limits."},
            {"驱动器位置限位", "到达驱动器自身的位置限位。", "将关节移回并检查软限位设置。"}},
    {16, 1, {"Parameter checksum error", "The drive's parameters failed their checksum.",
             "Write the drive parameters again."},
            {"参数校验错误", "驱动器参数校验失败。", "重新写入驱动器参数。"}},
    {17, 3, {"Short circuit", "The drive detected a short circuit on its output.",
             "Check the motor and its cable for insulation faults."},
            {"短路", "驱动器检测到输出短路。", "检查电机及线缆绝缘。"}},
    {18, 2, {"Regeneration overload", "The braking resistor absorbed too much energy.",
             "Lower the deceleration or fit a larger resistor."},
            {"再生过载", "制动电阻吸收能量过多。", "降低减速度或更换更大的制动电阻。"}},
    {19, 1, {"Fan fault", "The drive's cooling fan stopped.",
             "Clean or replace the fan."},
            {"风扇故障", "驱动器散热风扇停转。", "清洁或更换风扇。"}},
    {20, 3, {"Communication timeout", "The drive received no command within its watchdog time.",
             "Check the bus connection to the controller."},
            {"通讯超时", "驱动器在看门狗时间内未收到指令。", "检查与控制器的总线连接。"}},
};

} // namespace

json controllerAlarmCatalogue()
{
    return toCatalogue(kControllerAlarms, sizeof(kControllerAlarms) / sizeof(kControllerAlarms[0]));
}

json servoAlarmCatalogue()
{
    return toCatalogue(kServoAlarms, sizeof(kServoAlarms) / sizeof(kServoAlarms[0]));
}

} // namespace varlosim
