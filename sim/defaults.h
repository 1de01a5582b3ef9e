// Factory settings of the virtual controller: the documents it writes into a
// fresh project folder, and the alarm numbers it raises itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace varlosim {

class DocumentStore;
class Kinematics;

// Alarm numbers of the controller catalogue that VarloSim raises itself.
namespace ControllerAlarm {
constexpr int EmergencyStop = 1;
constexpr int Collision = 2;
constexpr int SkinCollision = 3;
constexpr int PathNotReachable = 12;
constexpr int JointLimit = 10;
constexpr int PowerLost = 5;
}

// Documents by name, in the order they are written.
std::vector<std::pair<std::string, nlohmann::json>> defaultDocuments(const Kinematics &model);

// The alarm catalogues ("/properties/alarm_controller", "/properties/alarm_servo"):
// arrays of {"id", "level", "en": {...}, "zh_CN": {...}}.
nlohmann::json controllerAlarmCatalogue();
nlohmann::json servoAlarmCatalogue();

// Writes every default document that the folder does not hold yet, and brings
// the model documents (axis count, structure, controller type) in line with the
// running model. Returns the number of documents written.
int installDefaults(DocumentStore &store, const Kinematics &model);

} // namespace varlosim
