// Core members for a project's teach points and the palletizing process's
// pallets, as tuples in the order of varlo.TeachPoint and varlo.Pallet.
#include "bindings.h"

#include <Varlo/qrobotsettings.h>

#include <cstring>
#include <memory>
#include <tuple>

namespace py = pybind11;

namespace {

// index, name, arm orientation, tool, user, pose, rdn, load, auxiliary joints.
using Point = std::tuple<int, std::string, int, int, int, Pose, std::array<int, 4>, int, std::array<float, 3>>;
// id, user frame, name, direction, counts, distances, first, safe, automatic
// safe point, prepare point.
using Pallet = std::tuple<int, int, std::string, int, std::array<int, 3>, std::array<float, 3>, Pose, Pose, bool, Pose>;

QString pointsFile(QRobot &robot, const std::string &project)
{
    return robot.projectPath() + QLatin1Char('/') + qtext(project) + QLatin1String("/points.json");
}

// The axis count decides how a point's configuration is kept (4 or 6).
int kindOf(QRobot &robot)
{
    return robot.knownAxisCount() == 4 ? 4 : 6;
}

} // namespace

void bindProject(Core &core)
{
    core.def("teach_points", [](RobotCore &self, const std::string &project) {
        auto table = std::make_unique<TeachPointTable>();
        const int count = call(self, [&](QRobot &robot) {
            return robot.settings()->loadTeachPoints(pointsFile(robot, project), kindOf(robot), *table);
        });
        std::vector<Point> points;
        for (int i = 0; i < count && i < TeachPointCount; ++i) {
            const TeachPoint &p = table->point[i];
            std::array<int, 4> rdn;
            std::copy(p.rdn, p.rdn + 4, rdn.begin());
            points.emplace_back(p.index, fieldText(p.alias, sizeof p.alias), p.armOrientation, p.tool, p.user,
                                arrayOf(p.coordinate), rdn, p.load, arrayOf(p.auxJoint));
        }
        return points;
    });
    core.def("set_teach_points", [](RobotCore &self, const std::string &project, const std::vector<Point> &points) {
        if (points.size() > size_t(TeachPointCount))
            throw py::value_error("a project holds at most 999 teach points");
        auto table = std::make_unique<TeachPointTable>();
        std::memset(table.get(), 0, sizeof(TeachPointTable));
        for (size_t i = 0; i < points.size(); ++i) {
            TeachPoint &p = table->point[i];
            p.index = std::get<0>(points[i]);
            setField(p.alias, sizeof p.alias, std::get<1>(points[i]));
            p.armOrientation = std::get<2>(points[i]);
            p.tool = std::get<3>(points[i]);
            p.user = std::get<4>(points[i]);
            copyTo(std::get<5>(points[i]), p.coordinate);
            copyTo(std::get<6>(points[i]), p.rdn);
            p.load = std::get<7>(points[i]);
            copyTo(std::get<8>(points[i]), p.auxJoint);
        }
        return call(self, [&](QRobot &robot) {
            return robot.settings()->saveTeachPoints(pointsFile(robot, project), *table, kindOf(robot));
        });
    });

    core.def("pallets", [](RobotCore &self) {
        PalletDef table[PalletCount];
        std::memset(table, 0, sizeof table);
        const int count = call(self, [&](QRobot &robot) {
            return robot.settings()->pallets(robot.processPath() + QLatin1String("/pallet.json"), table);
        });
        std::vector<Pallet> pallets;
        for (int i = 0; i < count && i < PalletCount; ++i) {
            const PalletDef &p = table[i];
            pallets.emplace_back(p.id, p.userCoord, fieldText(p.name, sizeof p.name), p.direction,
                                 std::array<int, 3>{ p.count[0], p.count[1], p.count[2] }, arrayOf(p.distance),
                                 arrayOf(p.firstPoint), arrayOf(p.safePoint), p.autoSafePoint, arrayOf(p.preparePoint));
        }
        return pallets;
    });
    core.def("set_pallets", [](RobotCore &self, const std::vector<Pallet> &pallets) {
        if (pallets.size() > size_t(PalletCount))
            throw py::value_error("the palletizing process holds at most 10 pallets");
        PalletDef table[PalletCount];
        std::memset(table, 0, sizeof table);
        for (size_t i = 0; i < pallets.size(); ++i) {
            PalletDef &p = table[i];
            p.id = quint8(std::get<0>(pallets[i]));
            p.userCoord = quint8(std::get<1>(pallets[i]));
            setField(p.name, sizeof p.name, std::get<2>(pallets[i]));
            p.direction = std::get<3>(pallets[i]);
            copyTo(std::get<4>(pallets[i]), p.count);
            copyTo(std::get<5>(pallets[i]), p.distance);
            copyTo(std::get<6>(pallets[i]), p.firstPoint);
            copyTo(std::get<7>(pallets[i]), p.safePoint);
            p.autoSafePoint = std::get<8>(pallets[i]);
            copyTo(std::get<9>(pallets[i]), p.preparePoint);
        }
        return call(self, [&](QRobot &robot) { return robot.settings()->setPallets(table); });
    });
}
