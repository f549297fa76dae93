#include "fileops/copy_move.h"

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

enum class SourceForm { Directory, Wildcard, SingleFile };

SourceForm FormOf(const String& from) {
    if (IsDirectory(from.CStr()))
        return SourceForm::Directory;
    String lastItem = String(from).GetToken(-1, "\\");
    return lastItem.CountOf("*") > 0 ? SourceForm::Wildcard : SourceForm::SingleFile;
}

// The directory that is to hold a single destination file; a bare name lies in the current one.
String DirectoryOfFile(const String& to) {
    if (to.CountOf("\\") == 0)
        return String(to.GetLength() > 0 ? "." : "");
    return String(to).GetTokens(0, -2, "\\");
}

// The number of items of a directory path; the root, written as the empty text, is one item.
int CountPathItems(String directory) {
    return directory.GetLength() == 0 ? 1 : directory.CountTokens("\\");
}

// True when `inner` is `outer` or lies below it, item by item and without regard to case. The
// root, written as the empty text, holds everything.
bool IsSameOrInside(String inner, String outer) {
    if (outer.GetLength() == 0)
        return true;
    const int outerItems = outer.CountTokens("\\");
    if (inner.CountTokens("\\") < outerItems)
        return false;
    return inner.GetTokens(0, outerItems - 1, "\\").EqualsNoCase(outer);
}

// Fills the context of a directory or wildcard source and creates the target directory. A target
// at a root, or one inside the very tree a directory source names (a walk that would never end),
// fails the pair before anything is written.
bool PrepareTransfer(const String& from, const String& to, SourceForm form,
                     TransferContext& context) {
    if (form == SourceForm::Directory) {
        String sourceRoot = WithoutTrailingBackslashes(from);
        context.skipItems = CountPathItems(sourceRoot);
        context.targetDir = WithoutTrailingBackslashes(to);
        if (IsSameOrInside(context.targetDir, sourceRoot))
            return false;
    } else {
        context.skipItems = String(from).CountTokens("\\") - 1;
        context.targetDir = WithoutTrailingBackslashes(String(to).GetTokens(0, -2, "\\"));
    }
    return !IsUnsafeTarget(context.targetDir) && CreateDirectoryTree(context.targetDir);
}

bool PrepareSingleFile(const String& to) {
    String directory = DirectoryOfFile(to);
    return !IsUnsafeTarget(directory) && CreateDirectoryTree(directory);
}

String DestinationOf(const String& path, const TransferContext& context) {
    String tail = String(path).GetTokens(context.skipItems, -1, "\\");
    return context.targetDir.Concat("\\").Concat(tail);
}

int EnsureDirectory(const String& path) {
    return PathExists(path.CStr()) || platform::MakeDirectory(path.CStr());
}

using Transfer = bool (*)(const String& from, const String& to);

bool ExecuteTransfer(Procedure& procedure, Transfer transfer, unsigned failureMessage) {
    TransferInfo& record = static_cast<TransferInfo&>(procedure);
    const int count = CountListItems(record, record.from, "FROM");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        String source = GetListItem(record.from, i);
        String destination = GetListItem(record.to, i);
        if (!transfer(source, destination)) {
            ShowError(failureMessage, source.CStr(), destination.CStr());
            return false;
        }
    }
    record.flag = true;
    return true;
}

}  // namespace

bool CopyPath(const String& from, const String& to) {
    const SourceForm form = FormOf(from);
    if (form == SourceForm::SingleFile) {
        return PrepareSingleFile(to) && platform::CopyFileTo(from.CStr(), to.CStr());
    }
    TransferContext context;
    return PrepareTransfer(from, to, form, context) && WalkFiles(from, CopyVisitor, true, &context);
}

// A link is moved as itself, as a single entry: walking through it would empty the directory it
// leads to.
bool MovePath(const String& from, const String& to) {
    const SourceForm form = IsLink(from.CStr()) ? SourceForm::SingleFile : FormOf(from);
    if (form == SourceForm::SingleFile) {
        return PrepareSingleFile(to) && platform::MoveEntry(from.CStr(), to.CStr());
    }
    TransferContext context;
    if (!PrepareTransfer(from, to, form, context) || !WalkFiles(from, MoveVisitor, true, &context))
        return false;
    // The emptied source directory goes too; the directory that held a pattern stays.
    return form == SourceForm::Wildcard || platform::RemoveEmptyDirectory(from.CStr());
}

int CopyVisitor(const String& path, int kind, void* context) {
    const TransferContext& transfer = *static_cast<const TransferContext*>(context);
    switch (kind) {
        case VisitFile:
            return platform::CopyFileTo(path.CStr(), DestinationOf(path, transfer).CStr());
        case VisitDirEnter:
            return EnsureDirectory(DestinationOf(path, transfer));
        case VisitDirLeave:
            return 1;
        default:
            return 0;
    }
}

// A file met inside a directory or wildcard MOVE replaces its destination; the removal's result
// is not looked at, since a destination that stays makes the move itself fail.
int MoveVisitor(const String& path, int kind, void* context) {
    const TransferContext& transfer = *static_cast<const TransferContext*>(context);
    switch (kind) {
        case VisitFile: {
            String destination = DestinationOf(path, transfer);
            if (PathExists(destination.CStr()))
                platform::DeleteFileEntry(destination.CStr());
            return platform::MoveEntry(path.CStr(), destination.CStr());
        }
        case VisitDirEnter:
            return EnsureDirectory(DestinationOf(path, transfer));
        case VisitDirLeave:
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
