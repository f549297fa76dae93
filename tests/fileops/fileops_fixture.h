#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "core/string.h"
#include "engine/procedure.h"
#include "support/script_fixture.h"

namespace updater::testing {

// A script test with helpers for files in its directory and for running one procedure of a
// file kind through its loader and executor.
class FileOpsTest : public ScriptTest {
  protected:
    String Engine(const std::string& relative) const {
        return String(EnginePath(relative).c_str());
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(NativePath(relative), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::symlink_status(NativePath(relative)).type() !=
               std::filesystem::file_type::not_found;
    }
    void MakeDir(const std::string& relative) {
        std::filesystem::create_directories(NativePath(relative));
    }
    void MakeReadOnly(const std::string& relative) {
        std::filesystem::permissions(NativePath(relative),
                                     std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
    }
    std::set<std::string> Names(const std::string& relative) const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(NativePath(relative)))
            names.insert(entry.path().filename().string());
        return names;
    }
    // Writes the section [P] with MODE and the given key lines, loads it and runs it. `flag` is
    // the record's outcome flag afterwards.
    bool Run(const std::string& mode, const std::string& keys, Procedure* (*load)(const String&),
             bool (*execute)(Procedure&)) {
        WriteScript("[P]\nMODE=" + mode + "\n" + keys);
        std::unique_ptr<Procedure> record(load(String("P")));
        if (!record)
            return false;
        bool result = execute(*record);
        flag = record->flag;
        return result;
    }

    bool flag = false;
};

}  // namespace updater::testing
