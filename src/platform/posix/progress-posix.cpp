#include "platform/progress.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/posix/internal-posix.h"

extern char** environ;

// Progress on Linux: a line on standard error when that is a terminal, else a desktop progress
// dialog (zenity or kdialog, as for message boxes) when a display can be reached.
namespace updater::platform {

// --- Text for a terminal -------------------------------------------------------------------------

namespace posix {

namespace {

constexpr int kBarColumns = 20;
constexpr const char* kEllipsis = "\xE2\x80\xA6";  // "…", one column

// The code point of the UTF-8 sequence at `i` and its length; a byte that starts no sequence
// stands for itself.
char32_t DecodeAt(std::string_view text, size_t i, size_t& length) {
    length = BytesOfCharacters(text.substr(i), 1);
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1)
        return lead;
    char32_t code = lead & (0xFFu >> (length + 1));
    for (size_t k = 1; k < length; ++k)
        code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    return code;
}

// East Asian wide and full-width characters, which terminals draw two columns wide.
bool IsWide(char32_t code) {
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1F64F) ||
           (code >= 0x20000 && code <= 0x3FFFD);
}

struct Character {
    size_t offset;
    size_t length;
    size_t columns;
};

std::vector<Character> Characters(std::string_view text) {
    std::vector<Character> characters;
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        const char32_t code = DecodeAt(text, i, length);
        const size_t columns = code < 0x20 ? 0 : IsWide(code) ? 2 : 1;
        characters.push_back({i, length, columns});
        i += length;
    }
    return characters;
}

std::string Bar(uint64_t done, uint64_t total, unsigned tick) {
    std::string bar(kBarColumns, ' ');
    if (total == kNoTotal) {
        // A block that runs to and fro: the work goes on, its end is not known.
        constexpr int kBlock = 5;
        constexpr int kSpan = kBarColumns - kBlock;
        const int step = static_cast<int>(tick % (2 * kSpan));
        const int start = step < kSpan ? step : 2 * kSpan - step;
        std::fill_n(bar.begin() + start, kBlock, '=');
    } else {
        const auto filled = total == 0 ? kBarColumns : static_cast<int>(done * kBarColumns / total);
        std::fill_n(bar.begin(), filled, '#');
    }
    return "[" + bar + "]";
}

}  // namespace

size_t TerminalColumns(std::string_view text) {
    size_t columns = 0;
    for (const Character& character : Characters(text))
        columns += character.columns;
    return columns;
}

std::string ShortenMiddle(const std::string& text, size_t columns) {
    if (TerminalColumns(text) <= columns)
        return text;
    if (columns == 0)
        return std::string();
    const std::vector<Character> characters = Characters(text);
    // The head gets the one column more when they cannot be even: the start of a path tells
    // where it is, its end which file.
    const size_t room = columns - 1;
    size_t headColumns = 0;
    size_t head = 0;
    while (head < characters.size() && headColumns + characters[head].columns <= (room + 1) / 2)
        headColumns += characters[head++].columns;
    size_t tailColumns = 0;
    size_t tail = characters.size();
    while (tail > head && tailColumns + characters[tail - 1].columns <= room - headColumns)
        tailColumns += characters[--tail].columns;
    const size_t headEnd = head < characters.size() ? characters[head].offset : text.size();
    const size_t tailStart = tail < characters.size() ? characters[tail].offset : text.size();
    return text.substr(0, headEnd) + kEllipsis + text.substr(tailStart);
}

std::string FormatProgressLine(const std::string& workText, uint64_t done, uint64_t total,
                               const std::string& item, size_t columns, unsigned tick) {
    std::string line = workText + " " + Bar(done, total, tick);
    if (total != kNoTotal) {
        const uint64_t percent = total == 0 ? 100 : done * 100 / total;
        line += " " + std::to_string(percent) + "%";
    }
    // The last column stays free: a line that fills it makes some terminals wrap.
    const size_t used = TerminalColumns(line) + 1;
    if (item.empty() || used + 2 >= columns)
        return ShortenMiddle(line, columns > 0 ? columns - 1 : 0);
    return line + " " + ShortenMiddle(item, columns - used - 1);
}

std::vector<std::string> ZenityProgressArguments(const std::string& caption,
                                                 const std::string& workText, bool pulsate,
                                                 bool offerCancel) {
    // Wide enough for a path on one line: zenity would wrap it in a narrow window.
    std::vector<std::string> arguments = {"--progress", "--title=" + caption, "--text=" + workText,
                                          "--no-markup", "--width=480"};
    if (!offerCancel)
        arguments.push_back("--no-cancel");
    if (pulsate)
        arguments.push_back("--pulsate");
    return arguments;
}

}  // namespace posix

// --- Showing from a thread of its own ------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;
// A procedure shorter than this shows nothing: short steps never flash a window.
constexpr auto kShowDelay = std::chrono::seconds(1);
// At most 20 redraws a second.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

// What the work reported last.
struct Snapshot {
    ProgressWork work = ProgressWork::kCopying;
    uint64_t total = kNoTotal;
    uint64_t done = 0;
    std::string item;
};

// Takes the reports on the work's thread, which only notes them, and shows them from a thread of
// its own: once a procedure has run for a second, redrawn at most 20 times a second, taken away
// as soon as the procedure ends or a message box comes.
class ThreadedDisplay : public ProgressReceiver {
  public:
    ~ThreadedDisplay() override { Stop(); }

    void Begin(const std::string&, ProgressWork work, uint64_t total) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            snapshot_ = Snapshot{work, total, 0, std::string()};
            active_ = true;
            began_ = Clock::now();
        }
        if (!thread_.joinable())
            thread_ = std::thread(&ThreadedDisplay::Run, this);
        wake_.notify_all();
    }

    void Item(const std::string& path) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        snapshot_.item = path;
    }

    void Advance(uint64_t done) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        snapshot_.done = done;
    }

    void End(bool) override { TakeAway(); }

    void StepAside() override { TakeAway(); }

  protected:
    // Called on the display's thread, one at a time, and by TakeAway.
    virtual void Show(const Snapshot& snapshot) = 0;
    virtual void Draw(const Snapshot& snapshot, unsigned tick) = 0;
    virtual void Hide() = 0;

    // Ends the display's thread and takes away what it showed; the derived display calls it
    // first thing in its destructor, while its drawing is still there to call.
    void Stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        TakeAway();
    }

  private:
    // Returns once nothing is shown any more, so that a message box never comes behind it. A draw
    // under way is waited for; a later one finds the procedure ended and draws nothing.
    void TakeAway() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            active_ = false;
        }
        wake_.notify_all();
        const std::lock_guard<std::mutex> drawing(drawing_);
        if (shown_) {
            Hide();
            shown_ = false;
        }
    }

    void DrawIfActive(unsigned tick) {
        const std::lock_guard<std::mutex> drawing(drawing_);
        Snapshot snapshot;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!active_)
                return;
            snapshot = snapshot_;
        }
        if (!shown_) {
            Show(snapshot);
            shown_ = true;
        }
        Draw(snapshot, tick);
    }

    void Run() {
        unsigned tick = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            if (!active_) {
                wake_.wait(lock);
                continue;
            }
            const Clock::time_point showAt = began_ + kShowDelay;
            if (Clock::now() < showAt) {
                wake_.wait_until(lock, showAt);
                continue;
            }
            lock.unlock();
            DrawIfActive(tick++);
            lock.lock();
            wake_.wait_for(lock, kRedrawInterval);
        }
    }

    std::mutex mutex_;  // guards the reports and the flags below
    std::condition_variable wake_;
    Snapshot snapshot_;
    bool active_ = false;
    bool stopping_ = false;
    Clock::time_point began_;
    std::mutex drawing_;  // held while anything is shown, drawn or taken away
    bool shown_ = false;  // under drawing_
    std::thread thread_;
};

// --- The line on a terminal ----------------------------------------------------------------------

void StopOnInterrupt(int) {
    RequestStop();
}

// With Cancel offered, the first Ctrl+C asks the run to stop (its changes are then undone at
// once); the handler goes with it, so that a second one ends the program as it always did.
class TerminalLine : public ThreadedDisplay {
  public:
    TerminalLine(const std::array<std::string, kProgressWorkCount>& workTexts, bool offerCancel)
        : workTexts_(workTexts), handlesInterrupt_(offerCancel) {
        // An interrupt that whoever started the Updater chose to ignore stays ignored.
        if (!handlesInterrupt_ || sigaction(SIGINT, nullptr, &previous_) != 0 ||
            previous_.sa_handler == SIG_IGN) {
            handlesInterrupt_ = false;
            return;
        }
        struct sigaction action = {};
        action.sa_handler = StopOnInterrupt;
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        handlesInterrupt_ = sigaction(SIGINT, &action, nullptr) == 0;
    }
    ~TerminalLine() override {
        Stop();
        if (handlesInterrupt_)
            sigaction(SIGINT, &previous_, nullptr);
    }

  protected:
    void Show(const Snapshot&) override { drawn_.clear(); }

    // The line is written anew in place, and only when it changed.
    void Draw(const Snapshot& snapshot, unsigned tick) override {
        const std::string line = posix::FormatProgressLine(
            workTexts_[static_cast<int>(snapshot.work)], snapshot.done, snapshot.total,
            posix::ToNativePath(snapshot.item), Columns(), tick);
        if (line == drawn_)
            return;
        Write("\r" + line + "\x1b[K");
        drawn_ = line;
    }

    void Hide() override { Write("\r\x1b[K"); }

  private:
    static size_t Columns() {
        winsize size{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            return size.ws_col;
        return 80;
    }

    static void Write(const std::string& text) {
        posix::WriteAllWithoutSigpipe(STDERR_FILENO, text.data(), text.size());
    }

    std::array<std::string, kProgressWorkCount> workTexts_;
    std::string drawn_;
    bool handlesInterrupt_;
    struct sigaction previous_ = {};
};

// --- The desktop dialog --------------------------------------------------------------------------

// A program started with its output discarded; `input`, when asked for, is the write end of a
// pipe to its standard input, closed on exec so that no other program inherits it.
pid_t Start(const std::string& path, const std::vector<std::string>& arguments, int* input,
            int* output) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if ((input != nullptr && pipe2(toChild, O_CLOEXEC) != 0) ||
        (output != nullptr && pipe2(fromChild, O_CLOEXEC) != 0)) {
        for (int fd : {toChild[0], toChild[1]})
            if (fd >= 0)
                close(fd);
        return -1;
    }
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input != nullptr)
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    if (output != nullptr)
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    if (posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {toChild[0], fromChild[1]})
        if (fd >= 0)
            close(fd);
    if (input != nullptr)
        *input = toChild[1];
    if (output != nullptr)
        *output = fromChild[0];
    return child;
}

void Reap(pid_t child) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// zenity reads the percentage and the text from its standard input; kdialog is driven through
// the session bus by dbus-send, as its documentation shows.
class DesktopDialog : public ThreadedDisplay {
  public:
    DesktopDialog(posix::DialogProgram program, std::string path, std::string caption,
                  const std::array<std::string, kProgressWorkCount>& workTexts, bool offerCancel)
        : program_(program),
          path_(std::move(path)),
          caption_(std::move(caption)),
          workTexts_(workTexts),
          offerCancel_(offerCancel) {}
    ~DesktopDialog() override { Stop(); }

  protected:
    void Show(const Snapshot& snapshot) override {
        const std::string& text = workTexts_[static_cast<int>(snapshot.work)];
        drawn_.clear();
        if (program_ == posix::DialogProgram::kZenity) {
            child_ = Start(path_,
                           posix::ZenityProgressArguments(caption_, text,
                                                          snapshot.total == kNoTotal, offerCancel_),
                           &input_, nullptr);
        } else {
            ShowKdialog(text, snapshot.total == kNoTotal);
        }
    }

    void Draw(const Snapshot& snapshot, unsigned) override {
        if (offerCancel_ && WasCancelled()) {
            RequestStop();
            return;
        }
        const std::string& text = workTexts_[static_cast<int>(snapshot.work)];
        const std::string item = posix::ShortenMiddle(posix::ToNativePath(snapshot.item), 60);
        const uint64_t total = snapshot.total;
        const uint64_t percent = total == kNoTotal ? 0
                                 : total == 0      ? 100
                                                   : snapshot.done * 100 / total;
        const std::string state = std::to_string(percent) + "\n" + text + "\n" + item;
        if (state == drawn_)
            return;
        drawn_ = state;
        const std::string label = item.empty() ? text : text + ": " + item;
        if (program_ == posix::DialogProgram::kZenity) {
            // zenity would close itself at 100%; it is closed by Hide instead.
            const std::string lines =
                (total == kNoTotal ? std::string()
                                   : std::to_string(std::min<uint64_t>(percent, 99)) + "\n") +
                "# " + label + "\n";
            if (input_ >= 0)
                posix::WriteAllWithoutSigpipe(input_, lines.data(), lines.size());
        } else if (!bus_.empty() && Clock::now() - lastCall_ >= kBusInterval) {
            lastCall_ = Clock::now();
            CallKdialog({"org.kde.kdialog.ProgressDialog.setLabelText", "string:" + label});
            if (total != kNoTotal)
                SetKdialogValue("value", static_cast<int>(percent));
        }
    }

    void Hide() override {
        if (input_ >= 0) {
            close(input_);
            input_ = -1;
        }
        if (child_ > 0) {
            kill(child_, SIGTERM);
            Reap(child_);
            child_ = -1;
        }
        if (!bus_.empty()) {
            CallKdialog({"org.kde.kdialog.ProgressDialog.close"});
            bus_.clear();
        }
        // The program that printed the bus name has normally left by now.
        if (kdialog_ > 0) {
            if (waitpid(kdialog_, nullptr, WNOHANG) == 0) {
                kill(kdialog_, SIGTERM);
                Reap(kdialog_);
            }
            kdialog_ = -1;
        }
    }

  private:
    // zenity ends with status 1 when its Cancel is pressed or its window closed; a zenity that
    // failed otherwise only leaves the run without its display. kdialog is asked.
    bool WasCancelled() {
        if (child_ > 0) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) != child_)
                return false;
            child_ = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 1;
        }
        if (bus_.empty() || Clock::now() - lastAsked_ < kBusInterval)
            return false;
        lastAsked_ = Clock::now();
        return CallKdialog({"org.kde.kdialog.ProgressDialog.wasCancelled"}, true)
                   .find("boolean true") != std::string::npos;
    }

    // Every bus call starts a program: a few a second are plenty for a dialog.
    static constexpr std::chrono::milliseconds kBusInterval{500};
    static constexpr int kReplyWait = 5000;  // milliseconds

    // kdialog prints the bus name and object of its dialog, then leaves the dialog running on
    // its own. Only that first line is read, and not for long: the dialog may keep the pipe.
    void ShowKdialog(const std::string& text, bool pulsate) {
        int output = -1;
        kdialog_ =
            Start(path_, {"--title", caption_, "--progressbar", text, "100"}, nullptr, &output);
        if (kdialog_ < 0)
            return;
        const posix::FileDescriptor reply(output);
        std::string line;
        char c = 0;
        pollfd ready{reply.Get(), POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&ready, 1, kReplyWait) > 0 &&
               read(reply.Get(), &c, 1) == 1)
            line += c;
        const size_t space = line.find(' ');
        if (space == std::string::npos || line.back() != '\n')
            return;
        bus_ = {line.substr(0, space), line.substr(space + 1, line.size() - space - 2)};
        // A progress bar whose maximum is 0 shows that work goes on without an end in sight.
        if (pulsate)
            SetKdialogValue("maximum", 0);
        if (offerCancel_)
            CallKdialog({"org.kde.kdialog.ProgressDialog.showCancelButton", "boolean:true"});
    }

    void SetKdialogValue(const std::string& property, int value) {
        CallKdialog({"org.freedesktop.DBus.Properties.Set", "string:org.kde.kdialog.ProgressDialog",
                     "string:" + property, "variant:int32:" + std::to_string(value)});
    }

    // With `wantReply`, returns what dbus-send printed of the reply.
    std::string CallKdialog(const std::vector<std::string>& call, bool wantReply = false) {
        static const std::optional<std::string> sender = posix::FindOnSearchPath("dbus-send");
        if (!sender || bus_.size() != 2)
            return std::string();
        std::vector<std::string> arguments = {"--session",
                                              wantReply ? "--print-reply" : "--type=method_call",
                                              "--dest=" + bus_[0], bus_[1]};
        arguments.insert(arguments.end(), call.begin(), call.end());
        int output = -1;
        const pid_t child = Start(*sender, arguments, nullptr, wantReply ? &output : nullptr);
        std::string reply;
        if (output >= 0) {
            const posix::FileDescriptor pipe(output);
            char buffer[256];
            pollfd ready{pipe.Get(), POLLIN, 0};
            ssize_t got = 0;
            while (poll(&ready, 1, kReplyWait) > 0 &&
                   (got = read(pipe.Get(), buffer, sizeof buffer)) > 0)
                reply.append(buffer, static_cast<size_t>(got));
        }
        if (child > 0)
            Reap(child);
        return reply;
    }

    posix::DialogProgram program_;
    std::string path_;
    std::string caption_;
    std::array<std::string, kProgressWorkCount> workTexts_;
    bool offerCancel_;
    pid_t child_ = -1;
    int input_ = -1;
    pid_t kdialog_ = -1;
    std::vector<std::string> bus_;  // kdialog's bus name and object path
    Clock::time_point lastCall_;
    Clock::time_point lastAsked_;
    std::string drawn_;
};

}  // namespace

std::unique_ptr<ProgressReceiver> MakeProgressDisplay(const std::string& caption,
                                                      const ProgressTexts& texts,
                                                      bool offerCancel) {
    if (isatty(STDERR_FILENO) == 1)
        return std::make_unique<TerminalLine>(texts.work, offerCancel);
    if (!posix::IsDisplayAvailable())
        return nullptr;
    const char* currentDesktop = std::getenv("XDG_CURRENT_DESKTOP");
    for (posix::DialogProgram program :
         posix::DialogProgramsToTry(currentDesktop ? currentDesktop : "")) {
        if (std::optional<std::string> path =
                posix::FindOnSearchPath(posix::DialogProgramName(program)))
            return std::make_unique<DesktopDialog>(program, *path, caption, texts.work,
                                                   offerCancel);
    }
    return nullptr;
}

}  // namespace updater::platform
