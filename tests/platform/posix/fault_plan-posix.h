#pragma once

#include <array>
#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

#include "platform/posix/system_calls-posix.h"

// Failing system calls on purpose: the backend's table is replaced by one that counts every call
// by its kind and makes one planned call fail with a planned error number, without reaching the
// system. A close that fails has closed its descriptor all the same, as Linux does.
namespace updater::platform::posix::test_support {

// The entries of the table, in its order.
enum class CallKind {
    kOpen,
    kOpenAt,
    kClose,
    kRead,
    kPread,
    kWrite,
    kPwrite,
    kCopyFileRange,
    kSendfile,
    kFtruncate,
    kReadlink,
    kRename,
    kRenameAt2,
    kLink,
    kSymlink,
    kUnlink,
    kMkdir,
    kRmdir,
    kChmod,
    kFchmod,
    kFchown,
    kSetxattr,
    kFsetxattr,
    kRemovexattr,
    kFutimens,
    kCount
};

inline const char* KindName(CallKind kind) {
    static const char* const kNames[] = {
        "open",     "openat",   "close",           "read",        "pread",
        "write",    "pwrite",   "copy_file_range", "sendfile",    "ftruncate",
        "readlink", "rename",   "renameat2",       "link",        "symlink",
        "unlink",   "mkdir",    "rmdir",           "chmod",       "fchmod",
        "fchown",   "setxattr", "fsetxattr",       "removexattr", "futimens"};
    return kNames[static_cast<int>(kind)];
}

// One removal the backend asked for (unlink or rmdir), in the order asked; `planned` when it was
// the call made to fail.
struct Removal {
    std::string path;
    bool done;
    bool planned;
};

// Installed while it lives; one at a time. The `number`th call of `kind` (from 1) fails with
// `error`; without a kind, every call goes through.
class FaultPlan {
  public:
    explicit FaultPlan(CallKind kind = CallKind::kCount, int number = 0, int error = 0)
        : saved_(Calls()), kind_(kind), number_(number), error_(error) {
        current_ = this;
        Install<CallKind::kOpen, &SystemCalls::open>();
        Install<CallKind::kOpenAt, &SystemCalls::openAt>();
        Install<CallKind::kClose, &SystemCalls::close>();
        Install<CallKind::kRead, &SystemCalls::read>();
        Install<CallKind::kPread, &SystemCalls::pread>();
        Install<CallKind::kWrite, &SystemCalls::write>();
        Install<CallKind::kPwrite, &SystemCalls::pwrite>();
        Install<CallKind::kCopyFileRange, &SystemCalls::copyFileRange>();
        Install<CallKind::kSendfile, &SystemCalls::sendfile>();
        Install<CallKind::kFtruncate, &SystemCalls::ftruncate>();
        Install<CallKind::kReadlink, &SystemCalls::readlink>();
        Install<CallKind::kRename, &SystemCalls::rename>();
        Install<CallKind::kRenameAt2, &SystemCalls::renameAt2>();
        Install<CallKind::kLink, &SystemCalls::link>();
        Install<CallKind::kSymlink, &SystemCalls::symlink>();
        Install<CallKind::kUnlink, &SystemCalls::unlink>();
        Install<CallKind::kMkdir, &SystemCalls::mkdir>();
        Install<CallKind::kRmdir, &SystemCalls::rmdir>();
        Install<CallKind::kChmod, &SystemCalls::chmod>();
        Install<CallKind::kFchmod, &SystemCalls::fchmod>();
        Install<CallKind::kFchown, &SystemCalls::fchown>();
        Install<CallKind::kSetxattr, &SystemCalls::setxattr>();
        Install<CallKind::kFsetxattr, &SystemCalls::fsetxattr>();
        Install<CallKind::kRemovexattr, &SystemCalls::removexattr>();
        Install<CallKind::kFutimens, &SystemCalls::futimens>();
    }
    ~FaultPlan() {
        Calls() = saved_;
        current_ = nullptr;
    }
    FaultPlan(const FaultPlan&) = delete;
    FaultPlan& operator=(const FaultPlan&) = delete;

    int Count(CallKind kind) const { return counts_[static_cast<int>(kind)]; }
    const std::vector<Removal>& Removals() const { return removals_; }

  private:
    template <CallKind kKind, auto kEntry>
    struct Counted;

    template <CallKind kKind, typename R, typename... A, R (*SystemCalls::*kEntry)(A...)>
    struct Counted<kKind, kEntry> {
        static R Call(A... arguments) {
            FaultPlan& plan = *current_;
            const bool fails =
                ++plan.counts_[static_cast<int>(kKind)] == plan.number_ && kKind == plan.kind_;
            R result = static_cast<R>(-1);
            if (!fails || kKind == CallKind::kClose)
                result = (plan.saved_.*kEntry)(arguments...);
            if constexpr (kKind == CallKind::kUnlink || kKind == CallKind::kRmdir)
                plan.removals_.push_back(
                    {std::get<0>(std::tie(arguments...)), !fails && result == 0, fails});
            if (fails) {
                errno = plan.error_;
                return static_cast<R>(-1);
            }
            return result;
        }
    };

    template <CallKind kKind, auto kEntry>
    void Install() {
        Calls().*kEntry = &Counted<kKind, kEntry>::Call;
    }

    static inline FaultPlan* current_ = nullptr;
    const SystemCalls saved_;
    const CallKind kind_;
    const int number_;
    const int error_;
    std::array<int, static_cast<int>(CallKind::kCount)> counts_{};
    std::vector<Removal> removals_;
};

}  // namespace updater::platform::posix::test_support
