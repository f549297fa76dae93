#include "settings/process_values.h"

namespace updater {

String CommandLine;
String Caption;
String ModulePath;
String SettingsPath;

}  // namespace updater
