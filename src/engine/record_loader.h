#pragma once

#include <initializer_list>
#include <memory>
#include <new>

#include "core/string.h"
#include "engine/procedure.h"
#include "settings/error_box.h"
#include "settings/profile_reader.h"

namespace updater {

template <typename Record>
struct TextKey {
    const char* key;
    String Record::*field;
};

// The common steps of a kind's loader: allocate the record (message 3 with `objectName` when
// that fails), store the name, read MODE and then the text keys in order. Null after the first
// failure, which the reader has reported.
template <typename Record>
Record* LoadRecord(const String& name, const char* objectName,
                   std::initializer_list<TextKey<Record>> keys) {
    std::unique_ptr<Record> record(new (std::nothrow) Record);
    if (!record) {
        ShowError(kMsgOutOfMemory, objectName);
        return nullptr;
    }
    record->name = name;
    if (!ReadKey(name.CStr(), "MODE", record->mode))
        return nullptr;
    for (const TextKey<Record>& key : keys) {
        if (!ReadKey(name.CStr(), key.key, (*record).*(key.field)))
            return nullptr;
    }
    return record.release();
}

}  // namespace updater
