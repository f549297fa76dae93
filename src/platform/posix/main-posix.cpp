#include "engine/updater.h"
#include "platform/posix/command_line-posix.h"

int main(int argc, char** argv) {
    return updater::RunUpdater(updater::platform::posix::JoinCommandLine(argc, argv));
}
