#include "engine/updater.h"
#include "platform/posix/internal-posix.h"

int main(int argc, char** argv) {
    return updater::RunUpdater(updater::platform::posix::JoinCommandLine(argc, argv));
}
