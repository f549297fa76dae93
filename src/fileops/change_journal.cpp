#include "fileops/change_journal.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>

#include "core/crc32.h"
#include "settings/run_log.h"

namespace updater {
namespace {

using platform::ChangeKind;

// The records, by their letter:
//   C path          created; undone by removing it
//   K path kept     replaced or removed; `kept` is the old entry under a second name
//   M from to       moved; undone by moving it back
//   A path state    attributes changed; `state` is what they were
//   D path state    empty directory removed; made again with its state
//   P path state    directory whose entries the run changed; its state is set back last
//   G directory     a directory made for kept files
//   X index         the change of record `index` was not made after all
//   U index         record `index` has been undone
//   E               the run ended; nothing is to be undone
constexpr char kCreated = 'C';
constexpr char kKept = 'K';
constexpr char kMoved = 'M';
constexpr char kAttributes = 'A';
constexpr char kRemovedDirectory = 'D';
constexpr char kDirectoryState = 'P';
constexpr char kKeepDirectory = 'G';
constexpr char kCancelled = 'X';
constexpr char kUndone = 'U';
constexpr char kEnded = 'E';

// Fields are free of the separators: tab, line breaks and the escape itself become %XX.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Unescaped(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() + 0 || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0)
            return false;
        out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
        i += 2;
    }
    return true;
}

std::string ChecksumText(const std::string& body) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X",
                  static_cast<unsigned>(Crc32(0, body.data(), body.size())));
    return text;
}

bool Exists(const std::string& path) {
    return platform::GetEntryAttributes(path) != platform::kInvalidAttributes;
}

// A directory that is not a link: it is replaced by nothing, so nothing of it is kept.
bool IsPlainDirectory(uint32_t attributes) {
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttributeDirectory) != 0 &&
           (attributes & platform::kAttributeReparsePoint) == 0;
}

std::string ParentOf(const std::string& path) {
    const size_t end = path.find_last_not_of('\\');
    const size_t slash = end == std::string::npos ? std::string::npos : path.rfind('\\', end);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("\\") : path.substr(0, slash);
}

// A stable name for a settings file's journal: FNV-1a of its full path.
std::string KeyOf(const std::string& settingsPath) {
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : settingsPath) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The paths a record's change and its undo touch.
std::vector<std::string> PathsOf(const ChangeJournal::Record& record) {
    switch (record.type) {
        case kCreated:
        case kAttributes:
        case kRemovedDirectory:
        case kDirectoryState:
            return {record.first};
        case kKept:
        case kMoved:
            return {record.first, record.second};
        default:
            return {};
    }
}

std::vector<std::string> ChangedPaths(const std::vector<ChangeJournal::Record>& records) {
    std::vector<std::string> paths;
    for (const ChangeJournal::Record& record : records) {
        for (std::string& path : PathsOf(record))
            paths.push_back(std::move(path));
    }
    return paths;
}

// One spelling per entry, whatever the case or a trailing separator: two spellings of one path
// are only ever taken for one, never the other way round.
std::string KeyOfPath(const std::string& path) {
    std::string key = path.substr(0, path.find_last_not_of('\\') + 1);
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::vector<std::string> DirectoriesHolding(const std::string& path) {
    std::vector<std::string> directories;
    for (std::string up = ParentOf(path); up != path && up != "." && up != "\\";) {
        directories.push_back(up);
        const std::string next = ParentOf(up);
        if (next == up)
            break;
        up = next;
    }
    return directories;
}

const char* ActionOf(char type) {
    switch (type) {
        case kCreated:
            return "remove";
        case kAttributes:
            return "attributes";
        default:
            return "restore";
    }
}

}  // namespace

std::string ChangeJournal::PathFor(const std::string& directory, const std::string& settingsPath) {
    return directory + "\\journal-" + KeyOf(settingsPath);
}

std::string ChangeJournal::FormatRecord(const Record& record) {
    std::string body(1, record.type);
    body += '\t' + Escaped(record.first) + '\t' + Escaped(record.second);
    return ChecksumText(body) + '\t' + body + '\n';
}

bool ChangeJournal::ParseRecord(const std::string& line, Record& record) {
    if (line.size() < 11 || line[8] != '\t')
        return false;
    const std::string body = line.substr(9);
    if (ChecksumText(body) != line.substr(0, 8))
        return false;
    const size_t first = body.find('\t');
    const size_t second = first == std::string::npos ? first : body.find('\t', first + 1);
    if (first != 1 || second == std::string::npos)
        return false;
    record.type = body[0];
    return Unescaped(body.substr(2, second - 2), record.first) &&
           Unescaped(body.substr(second + 1), record.second);
}

ChangeJournal::Opened ChangeJournal::Open(const std::string& journalPath, bool create) {
    journalPath_ = journalPath;
    pendingText_.clear();
    broken_ = false;
    keyName_ = journalPath.substr(journalPath.rfind('-') + 1);
    switch (file_.Open(journalPath, create)) {
        case platform::JournalFile::Opened::kOpened:
            return Opened::kOpened;
        case platform::JournalFile::Opened::kMissing:
            return Opened::kMissing;
        case platform::JournalFile::Opened::kHeld:
            return Opened::kHeld;
        default:
            return Opened::kFailed;
    }
}

bool ChangeJournal::Recover(std::vector<std::string>& failures) {
    std::string contents;
    if (!file_.ReadAll(contents))
        return false;
    records_.clear();
    // Records stop at the first torn one: nothing after it was ever acted on.
    for (size_t start = 0; start < contents.size();) {
        const size_t end = contents.find('\n', start);
        Record record;
        if (end == std::string::npos || !ParseRecord(contents.substr(start, end - start), record))
            break;
        records_.push_back(record);
        start = end + 1;
    }
    bool ended = false;
    for (const Record& record : records_)
        ended = ended || record.type == kEnded;
    const bool undone = ended || UndoRecords(records_, failures);
    if (!undone)
        return false;
    Tidy(records_);
    records_.clear();
    return file_.Clear();
}

void ChangeJournal::StartRecording(const std::string& keepDirectory) {
    keepDirectory_ = keepDirectory;
    records_.clear();
    keepDirectories_.clear();
    statedEntries_.clear();
    lastParent_.clear();
    planned_.clear();
    planNext_ = 0;
    pendingText_.clear();
    broken_ = false;
    recording_ = true;
    platform::SetChangeGuard(this);
}

size_t ChangeJournal::Write(char type, const std::string& first, const std::string& second) {
    records_.push_back(Record{type, first, second});
    pendingText_ += FormatRecord(records_.back());
    return records_.size() - 1;
}

bool ChangeJournal::Durable() {
    if (!pendingText_.empty()) {
        if (!file_.Append(pendingText_)) {
            broken_ = true;
            return false;
        }
        pendingText_.clear();
    }
    if (!file_.Flush())
        broken_ = true;
    return !broken_;
}

// Kept files lie on the file system of what they keep, so that keeping is a rename or a link:
// in the state directory when it is there, else in a directory of their own as high on that
// file system as one can be made below its root, above any tree the run may remove.
std::string ChangeJournal::KeptNameFor(const std::string& path, size_t index) {
    const std::string parent = ParentOf(path);
    if (parent == lastParent_)
        return lastKeepDirectory_ + "\\" + std::to_string(index);
    std::string directory;
    for (const std::string& known : keepDirectories_) {
        if (platform::OnSameFileSystem(known, parent)) {
            directory = known;
            break;
        }
    }
    if (directory.empty()) {
        std::vector<std::string> candidates;
        if (platform::OnSameFileSystem(keepDirectory_, parent))
            candidates.push_back(keepDirectory_ + "\\" + keyName_ + ".kept");
        std::vector<std::string> ancestors;
        for (std::string up = parent; platform::OnSameFileSystem(up, parent);) {
            ancestors.push_back(up);
            const std::string next = ParentOf(up);
            const bool drive = next.size() == 2 && next[1] == ':';
            if (next == up || next == "\\" || next == "." || drive)
                break;
            up = next;
        }
        for (auto up = ancestors.rbegin(); up != ancestors.rend(); ++up)
            candidates.push_back(*up + "\\.updater-kept-" + keyName_);
        for (const std::string& candidate : candidates) {
            Write(kKeepDirectory, candidate);
            if (Durable() && (platform::MakeDirectory(candidate) ||
                              IsPlainDirectory(platform::GetEntryAttributes(candidate)))) {
                directory = candidate;
                break;
            }
        }
        if (directory.empty())
            return {};
        keepDirectories_.push_back(directory);
    }
    lastParent_ = parent;
    lastKeepDirectory_ = directory;
    return directory + "\\" + std::to_string(index);
}

// A directory whose entries the run changes gets its attributes and times back once all in it is
// back: one record, before the first such change. Not for one that the run made, nor for one whose
// attributes it changed first: that undo sets its times back already, after what lies in it.
void ChangeJournal::RecordDirectoryState(const std::string& directory) {
    if (!statedEntries_.insert(KeyOfPath(directory)).second)
        return;
    std::string state;
    if (IsPlainDirectory(platform::GetEntryAttributes(directory)) &&
        platform::ReadEntryState(directory, state))
        Write(kDirectoryState, directory, state);
}

// What a change replaces or removes decides its records; a change that the system will refuse
// whatever happens (a source or a target that is not there) needs none.
bool ChangeJournal::RecordChange(Pending& change) {
    const std::string& to = change.to;
    if (change.kind == ChangeKind::kAttributes) {
        statedEntries_.insert(KeyOfPath(to));
    } else {
        RecordDirectoryState(ParentOf(to));
        if (change.kind == ChangeKind::kMove || change.kind == ChangeKind::kMoveOver)
            RecordDirectoryState(ParentOf(change.from));
    }
    const uint32_t target = platform::GetEntryAttributes(to);
    const bool exists = target != platform::kInvalidAttributes;
    bool keep = false;
    switch (change.kind) {
        case ChangeKind::kAttributes: {
            std::string state;
            if (platform::ReadEntryState(to, state))
                change.records.push_back(Write(kAttributes, to, state));
            return true;
        }
        case ChangeKind::kCopy:
        case ChangeKind::kWriteFile:
            if (!exists)
                change.records.push_back(Write(kCreated, to));
            keep = exists && !IsPlainDirectory(target);
            break;
        case ChangeKind::kMove:
            if (Exists(change.from))
                change.records.push_back(Write(kMoved, change.from, to));
            return true;
        case ChangeKind::kMoveOver:
            keep = exists && !IsPlainDirectory(target);
            break;
        case ChangeKind::kDelete:
            keep = exists && !IsPlainDirectory(target);
            break;
        case ChangeKind::kMakeDirectory:
            if (!exists) {
                change.records.push_back(Write(kCreated, to));
                statedEntries_.insert(KeyOfPath(to));
            }
            return true;
        case ChangeKind::kRemoveDirectory:
            if (IsPlainDirectory(target)) {
                std::string state;
                if (platform::ReadEntryState(to, state))
                    change.records.push_back(Write(kRemovedDirectory, to, state));
                return true;
            }
            keep = exists;
            break;
    }
    // The old file is kept before the move, so that undone newest first the moved file goes
    // back before the old one returns to its place.
    if (keep) {
        const std::string kept = KeptNameFor(to, records_.size());
        if (kept.empty())
            return false;
        change.records.push_back(Write(kKept, to, kept));
    }
    if (change.kind == ChangeKind::kMoveOver && Exists(change.from))
        change.records.push_back(Write(kMoved, change.from, to));
    return true;
}

// Keeps what the change will replace, once its records are durable.
bool ChangeJournal::Prepare(const Pending& change) {
    for (const size_t index : change.records) {
        const Record& record = records_[index];
        if (record.type != kKept)
            continue;
        const bool overwrite =
            change.kind == ChangeKind::kCopy || change.kind == ChangeKind::kWriteFile;
        return overwrite ? platform::KeepBeforeOverwrite(record.first, record.second)
                         : platform::LinkEntry(record.first, record.second);
    }
    return true;
}

// A planned change still meets what it was planned for: a target to be created is not there yet.
// (One to be kept is found gone when it is kept.)
bool ChangeJournal::StillFits(const Pending& change) {
    for (const size_t index : change.records) {
        const Record& record = records_[index];
        if (record.type == kCreated && Exists(record.first))
            return false;
    }
    return true;
}

void ChangeJournal::CancelUnmade() {
    while (planNext_ < planned_.size())
        Cancel(planned_[planNext_++]);
    planned_.clear();
    planNext_ = 0;
}

// Cancellations need not be durable at once: undoing a change that was never made does nothing.
void ChangeJournal::Cancel(const Pending& change) {
    for (const size_t index : change.records)
        Write(kCancelled, std::to_string(index));
}

platform::ChangeGuard::Verdict ChangeJournal::Before(ChangeKind kind, const std::string& from,
                                                     const std::string& to) {
    if (busy_ || !recording_)
        return Verdict::kGo;
    if (broken_)
        return Verdict::kRefuse;
    busy_ = true;
    Pending change{kind, from, to, {}, false};
    Verdict verdict = Verdict::kGo;
    if (planning_) {
        if (RecordChange(change)) {
            change.planned = true;
            planned_.push_back(change);
        }
        verdict = Verdict::kPlanned;
    } else {
        // A change announced ahead is made as planned, unless what it meets has changed since.
        bool found = false;
        while (!found && planNext_ < planned_.size()) {
            Pending& next = planned_[planNext_++];
            found = next.kind == kind && next.from == from && next.to == to && StillFits(next) &&
                    Prepare(next);
            if (found) {
                change = next;
            } else {
                Cancel(next);
            }
        }
        if (!found && !(RecordChange(change) && Durable())) {
            verdict = Verdict::kRefuse;
        } else if (!found && !Prepare(change)) {
            Cancel(change);
            verdict = Verdict::kRefuse;
        }
        current_ = change;
        if (verdict == Verdict::kRefuse)
            current_.records.clear();
    }
    busy_ = false;
    return verdict;
}

void ChangeJournal::After(ChangeKind, const std::string&, const std::string&, bool made) {
    if (busy_ || !recording_ || made)
        return;
    busy_ = true;
    for (const size_t index : current_.records) {
        const Record& record = records_[index];
        if (record.type == kKept && Exists(record.second))
            platform::PutBack(record.second, record.first);
    }
    Cancel(current_);
    current_.records.clear();
    busy_ = false;
}

void ChangeJournal::StartPlanning() {
    if (!recording_)
        return;
    CancelUnmade();
    planning_ = true;
}

void ChangeJournal::StopPlanning() {
    if (!planning_)
        return;
    planning_ = false;
    busy_ = true;
    Durable();
    busy_ = false;
}

// Every change of the run is made durable before its end is: once the kept files are gone, a
// power cut must find the new state whole. Changes that cannot be made durable may be lost in
// part, so the run is not ended but undone, from kept files that are all still there. Its end
// that cannot be recorded leaves the journal as it is: its changes are durable, and the next start
// finds either the end (and only tidies) or none (and undoes the run whole); undoing now could be
// cut short by a start that finds the end.
ChangeJournal::Ended ChangeJournal::Finish() {
    platform::SetChangeGuard(nullptr);
    if (recording_) {
        recording_ = false;
        CancelUnmade();
        if (!platform::MakeChangesDurable(ChangedPaths(records_)))
            return Ended::kToUndo;
        Write(kEnded, {});
        if (!Durable()) {
            file_.Close();
            return Ended::kLeft;
        }
        Tidy(records_);
    }
    file_.Remove();
    return Ended::kEnded;
}

bool ChangeJournal::Undo(std::vector<std::string>& failures) {
    platform::SetChangeGuard(nullptr);
    recording_ = false;
    CancelUnmade();
    const bool undone = UndoRecords(records_, failures);
    if (undone) {
        Tidy(records_);
        file_.Remove();
    } else {
        Durable();
        file_.Close();
    }
    return undone;
}

void ChangeJournal::Close() {
    platform::SetChangeGuard(nullptr);
    recording_ = false;
    file_.Close();
}

// The steps of an undo, newest first, that touch distinct paths: none touches a path, or a
// directory holding a path, that another touches.
struct ChangeJournal::UndoGroup {
    std::set<std::string> touched;
    std::set<std::string> holding;
    std::vector<std::string> paths;
    std::vector<size_t> done;

    bool Fits(const std::vector<std::string>& more) const {
        for (const std::string& path : more) {
            const std::string key = KeyOfPath(path);
            if (touched.count(key) != 0 || holding.count(key) != 0)
                return false;
            for (const std::string& up : DirectoriesHolding(key)) {
                if (touched.count(up) != 0)
                    return false;
            }
        }
        return true;
    }

    void Add(const std::vector<std::string>& more) {
        for (const std::string& path : more) {
            const std::string key = KeyOfPath(path);
            touched.insert(key);
            for (const std::string& up : DirectoriesHolding(key))
                holding.insert(up);
            paths.push_back(path);
        }
    }
};

// The group's steps are made durable before their marks are, since the journal may lie on
// another file system than they: a mark must never outlive its step. The next group starts only
// once the marks are durable, so a power cut leaves at most this group's steps done (durably or
// not) and unmarked, and the next start does them again. That is harmless: each step acts only
// when it finds its own change still in place (a created entry there, a kept file not yet put
// back, a moved entry under its second name) or sets the same attributes again, and what it finds
// at its paths is its own work, done or not: no other step of the group touched them or a
// directory holding them, and no older step has run. (Across groups it would not be: undoing a
// newer step again after an older one was undone on the same path could undo the older one.)
// A group that cannot be made durable stops the undo there, unmarked, for a later try, since no
// older step may run while a newer one may still be replayed. A journal that cannot take the
// marks does not stop it: the files are put back now, all that can still be done then, and only a
// power cut during such an undo would leave steps to be done twice.
bool ChangeJournal::CloseGroup(UndoGroup& group, std::vector<std::string>& failures) {
    if (group.paths.empty())
        return true;
    if (!platform::MakeChangesDurable(group.paths)) {
        failures.push_back(group.paths.front());
        return false;
    }
    for (const size_t index : group.done)
        Write(kUndone, std::to_string(index));
    Durable();
    group = UndoGroup();
    return true;
}

// Newest first, one group at a time. Directories get their attributes and times last, once what
// lies in them is back.
bool ChangeJournal::UndoRecords(std::vector<Record> records, std::vector<std::string>& failures) {
    std::set<size_t> skipped;
    for (const Record& record : records) {
        if (record.type == kCancelled || record.type == kUndone)
            skipped.insert(static_cast<size_t>(std::stoul(record.first)));
    }
    RemoveTemporaries(records);
    std::vector<size_t> directories;
    bool allUndone = true;
    UndoGroup group;
    for (size_t i = records.size(); i-- > 0;) {
        const Record& record = records[i];
        const std::vector<std::string> paths = PathsOf(record);
        if (skipped.count(i) != 0 || paths.empty())
            continue;
        if (record.type == kDirectoryState) {
            directories.push_back(i);
            continue;
        }
        if (!group.Fits(paths) && !CloseGroup(group, failures))
            return false;
        bool acted = true;
        bool ok = true;
        const std::string& path = record.first;
        switch (record.type) {
            case kCreated:
                acted = Exists(path);
                ok = !acted || platform::RemoveEntry(path);
                break;
            case kKept:
                acted = Exists(record.second);
                ok = !acted || platform::PutBack(record.second, path);
                break;
            case kMoved:
                // Both there: the move was never made.
                acted = Exists(record.second) && !Exists(path);
                ok = !acted || platform::MoveEntry(record.second, path);
                break;
            case kAttributes:
                ok = platform::WriteEntryState(path, record.second);
                break;
            default:  // kRemovedDirectory
                ok = Exists(path) || platform::MakeDirectory(path);
                break;
        }
        if (acted)
            LogUndo(ActionOf(record.type), path.c_str(), ok);
        group.Add(paths);
        // A step found with nothing to do is marked too: an older step of another group may put
        // something at its path, which it must then leave alone.
        if (!ok) {
            allUndone = false;
            failures.push_back(path);
        } else if (record.type == kRemovedDirectory) {
            directories.push_back(i);
        } else {
            group.done.push_back(i);
        }
    }
    if (!CloseGroup(group, failures))
        return false;
    // The states of directories, newest first, in one group: one directory may come twice, and set
    // again in the same order its oldest state still comes last.
    for (const size_t index : directories) {
        const Record& record = records[index];
        group.Add(PathsOf(record));
        if (platform::WriteEntryState(record.first, record.second)) {
            group.done.push_back(index);
        } else {
            allUndone = false;
            failures.push_back(record.first);
        }
    }
    return CloseGroup(group, failures) && allUndone;
}

// A process killed in the middle of a copy leaves its unfinished file beside the target.
void ChangeJournal::RemoveTemporaries(const std::vector<Record>& records) {
    std::set<std::string> directories;
    for (const Record& record : records) {
        if (record.type == kCreated || record.type == kKept)
            directories.insert(ParentOf(record.first));
        if (record.type == kMoved)
            directories.insert(ParentOf(record.second));
    }
    for (const std::string& directory : directories)
        platform::RemoveAbandonedTemporaries(directory);
}

// Kept files not put back are no longer needed, nor are their directories.
void ChangeJournal::Tidy(const std::vector<Record>& records) {
    for (const Record& record : records) {
        if (record.type == kKept)
            platform::RemoveEntry(record.second);
    }
    for (const Record& record : records) {
        if (record.type == kKeepDirectory)
            platform::RemoveEntry(record.first);
    }
    keepDirectories_.clear();
    lastParent_.clear();
}

}  // namespace updater
