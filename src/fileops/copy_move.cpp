#include "fileops/copy_move.h"

#include <string>
#include <vector>

#include "core/system_queries.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/root_guard.h"
#include "fileops/walker.h"
#include "platform/file_system.h"
#include "settings/error_box.h"

namespace updater {
namespace {

// COPY_INFO and MOVE_INFO share one layout: the unsplit FROM and TO lists.
struct TransferInfo : Procedure {
    String from;
    String to;
};
struct COPY_INFO : TransferInfo {};
struct MOVE_INFO : TransferInfo {};

enum class SourceForm { kDirectory, kWildcard, kSingleFile };

SourceForm FormOf(const String& from) {
    if (IsDirectory(from.CStr()))
        return SourceForm::kDirectory;
    String lastItem = String(from).GetToken(-1, "\\");
    return lastItem.CountOf("*") > 0 ? SourceForm::kWildcard : SourceForm::kSingleFile;
}

// The number of items of a directory path; the root, written as the empty text, is one item.
int CountPathItems(String directory) {
    return directory.GetLength() == 0 ? 1 : directory.CountTokens("\\");
}

// A directory path as the platform's queries take it: a root keeps one backslash ("\", "C:\"),
// since the empty text and a bare drive would not name it.
String QueryPath(const String& directory) {
    String trimmed = WithoutTrailingBackslashes(directory);
    return trimmed.GetLength() == 0 || IsRootPath(trimmed) ? trimmed.Concat("\\") : trimmed;
}

// A run that was killed may have left its temporaries in a directory that this one writes into;
// they go before anything is written there, once per directory rather than once per file.
void RemoveAbandoned(const String& directory) {
    platform::RemoveAbandonedTemporaries(QueryPath(directory).CStr());
}

// True when `target` lies inside a directory that the pattern matches and the walk enters.
bool LiesInMatchedDirectory(const String& pattern, const std::string& target) {
    const String directory = DirectoryPartOf(pattern);
    platform::DirectorySearch search;
    platform::FoundEntry entry;
    for (bool found = search.Start(pattern.CStr(), entry); found; found = search.Next(entry)) {
        const bool walkedInto = (entry.attributes & platform::kAttributeDirectory) != 0 &&
                                (entry.attributes & platform::kAttributeReparsePoint) == 0 &&
                                entry.name != "." && entry.name != "..";
        String matched = directory.Concat("\\").Concat(entry.name.c_str());
        if (walkedInto && platform::LiesWithin(target, matched.CStr()))
            return true;
    }
    return false;
}

// True when a transfer would write into what it reads: a directory source whose target is the
// source or lies inside it; a pattern whose target is the pattern's own directory (every entry
// would land on itself) or lies inside a directory the pattern matches (the walk would meet its
// own copies without end). The platform compares the entries themselves, so letter case, ".",
// "..", and links on the way are all seen through. The target must exist.
bool WritesIntoSource(const String& from, SourceForm form, const String& targetDir) {
    const std::string target = QueryPath(targetDir).CStr();
    if (form == SourceForm::kDirectory)
        return platform::LiesWithin(target, QueryPath(from).CStr());
    const String patternDir = QueryPath(DirectoryPartOf(from));
    if (!platform::LiesWithin(target, patternDir.CStr()))
        return false;
    return platform::IsSameEntry(target, patternDir.CStr()) || LiesInMatchedDirectory(from, target);
}

// Fills the context of a directory or wildcard source and creates the target directory. A target
// at a root, or one that would have the transfer write into its own source, fails the pair; the
// directories made for it are taken away again, so that a refused pair leaves nothing behind.
bool PrepareTransfer(const String& from, const String& to, SourceForm form,
                     TransferContext& context) {
    if (form == SourceForm::kDirectory) {
        context.skipItems = CountPathItems(WithoutTrailingBackslashes(from));
        context.targetDir = WithoutTrailingBackslashes(to);
    } else {
        context.skipItems = String(from).CountTokens("\\") - 1;
        context.targetDir = WithoutTrailingBackslashes(String(to).GetTokens(0, -2, "\\"));
    }
    if (IsUnsafeTarget(context.targetDir))
        return false;
    std::vector<String> made;
    if (!CreateDirectoryTree(context.targetDir, &made))
        return false;
    if (!WritesIntoSource(from, form, context.targetDir)) {
        RemoveAbandoned(context.targetDir);
        return true;
    }
    for (auto directory = made.rbegin(); directory != made.rend(); ++directory)
        platform::RemoveEmptyDirectory(directory->CStr());
    return false;
}

// A bare destination name lies in the current directory. A file named in a root is fine, and
// its directory exists; a destination that is itself a root ("\.", "C:\..") is not.
bool PrepareSingleFile(const String& to) {
    if (to.GetLength() == 0 || IsUnsafeItem(to))
        return false;
    String directory = DirectoryPartOf(to);
    if (directory.GetLength() != 0 && !IsRootPath(directory) && !CreateDirectoryTree(directory))
        return false;
    RemoveAbandoned(directory);
    return true;
}

String DestinationOf(const String& path, const TransferContext& context) {
    String tail = String(path).GetTokens(context.skipItems, -1, "\\");
    return context.targetDir.Concat("\\").Concat(tail);
}

// A directory of the target tree that is a link would take the entries where it leads, out of
// the tree the script named (a link to a system directory planted in a target); the pair fails
// instead. Another process may make the directory between the test and the creation.
int EnsureDirectory(const String& path) {
    if (IsLink(path.CStr()))
        return 0;
    if (!PathExists(path.CStr()))
        return platform::MakeDirectory(path.CStr()) || IsDirectory(path.CStr());
    // A directory made just now is empty; one that was there may hold what a killed run left.
    RemoveAbandoned(path);
    return 1;
}

using Transfer = bool (*)(const String& from, const String& to);

bool ExecuteTransfer(Procedure& procedure, Transfer transfer, unsigned failureMessage) {
    TransferInfo& record = static_cast<TransferInfo&>(procedure);
    return RunListItems(record, record.from, "FROM", [&](int i, const String& source) {
        const String destination = GetListItem(record.to, i);
        if (transfer(source, destination))
            return true;
        ShowError(failureMessage, source.CStr(), destination.CStr());
        return false;
    });
}

}  // namespace

bool CopyPath(const String& from, const String& to) {
    const SourceForm form = FormOf(from);
    if (form == SourceForm::kSingleFile) {
        return PrepareSingleFile(to) && platform::CopyFileTo(from.CStr(), to.CStr());
    }
    TransferContext context;
    return PrepareTransfer(from, to, form, context) && WalkFiles(from, CopyVisitor, true, &context);
}

// A link is moved as itself, as a single entry: walking through it would empty the directory it
// leads to. Written with trailing backslashes, a link to a directory is still the link. A root,
// or a pattern directly in one, is never moved away.
bool MovePath(const String& from, const String& to) {
    if (IsUnsafeItem(from))
        return false;
    if (IsLink(from.CStr())) {
        String link = IsDirectory(from.CStr()) ? WithoutTrailingBackslashes(from) : from;
        return PrepareSingleFile(to) && platform::MoveEntry(link.CStr(), to.CStr());
    }
    const SourceForm form = FormOf(from);
    if (form == SourceForm::kSingleFile) {
        return PrepareSingleFile(to) && platform::MoveEntry(from.CStr(), to.CStr());
    }
    TransferContext context;
    if (!PrepareTransfer(from, to, form, context) || !WalkFiles(from, MoveVisitor, true, &context))
        return false;
    // The emptied source directory goes too; the directory that held a pattern stays.
    return form == SourceForm::kWildcard || platform::RemoveEmptyDirectory(from.CStr());
}

// A link inside the tree is copied as a link with the same target, never read through: a link to
// a file outside the tree would otherwise copy what the script did not name (a link to a secret
// becoming a readable copy), and a link to an enclosing directory would copy without end. Where
// the system cannot make the link, the pair fails.
int CopyVisitor(const String& path, int kind, void* context) {
    const TransferContext& transfer = *static_cast<const TransferContext*>(context);
    switch (kind) {
        case VisitFile:
            return platform::CopyEntryTo(path.CStr(), DestinationOf(path, transfer).CStr());
        case VisitDirEnter:
            if (IsLink(path.CStr()))
                return platform::CopyEntryTo(path.CStr(), DestinationOf(path, transfer).CStr());
            return EnsureDirectory(DestinationOf(path, transfer));
        case VisitDirLeave:
            return 1;
        default:
            return 0;
    }
}

// A file met inside a directory or wildcard MOVE replaces its destination, but only once its
// contents are complete beside it: a move that fails leaves the old file in place. A destination
// that is the moved file itself under another name (through a link, say) is never replaced: the
// move fails on it instead. A link to a directory is moved as the link once it is left, and
// nothing is made for it on entering.
int MoveVisitor(const String& path, int kind, void* context) {
    const TransferContext& transfer = *static_cast<const TransferContext*>(context);
    switch (kind) {
        case VisitFile:
            return platform::MoveFileOver(path.CStr(), DestinationOf(path, transfer).CStr());
        case VisitDirEnter:
            return IsLink(path.CStr()) || EnsureDirectory(DestinationOf(path, transfer));
        case VisitDirLeave:
            if (IsLink(path.CStr()))
                return platform::MoveEntry(path.CStr(), DestinationOf(path, transfer).CStr());
            return platform::RemoveEmptyDirectory(path.CStr());
        default:
            return 0;
    }
}

Procedure* LoadCopy(const String& name) {
    return LoadRecord<COPY_INFO>(name, "COPY_INFO",
                                 {{"FROM", &COPY_INFO::from}, {"TO", &COPY_INFO::to}});
}

Procedure* LoadMove(const String& name) {
    return LoadRecord<MOVE_INFO>(name, "MOVE_INFO",
                                 {{"FROM", &MOVE_INFO::from}, {"TO", &MOVE_INFO::to}});
}

bool ExecuteCopy(Procedure& procedure) {
    return ExecuteTransfer(procedure, CopyPath, kMsgCopyFailed);
}

bool ExecuteMove(Procedure& procedure) {
    return ExecuteTransfer(procedure, MovePath, kMsgMoveFailed);
}

}  // namespace updater
