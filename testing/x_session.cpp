// A virtual X display with a window manager, and real input to its windows.
#include "testing/x_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "testing/spawn.h"

namespace fs = std::filesystem;

namespace krv::testing {

namespace {

constexpr auto kToolTimeout = std::chrono::seconds(20);
const char* const kScreen = "1600x1200x24";

XSession* g_session = nullptr;

std::string Hex(uint32_t id) {
  std::ostringstream s;
  s << "0x" << std::hex << id;
  return s.str();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The last lines of a log, for a message.
std::string Tail(const std::string& path) {
  std::string text = ReadFile(path);
  if (text.size() > 1500) text = "..." + text.substr(text.size() - 1500);
  return text.empty() ? "(nothing in " + path + ")" : text;
}

// Every "0x..." number in `text`, in order.
std::vector<uint32_t> HexNumbers(const std::string& text) {
  std::vector<uint32_t> out;
  size_t p = 0;
  while ((p = text.find("0x", p)) != std::string::npos) {
    p += 2;
    size_t end = p;
    while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > p) out.push_back(uint32_t(std::stoul(text.substr(p, end - p), nullptr, 16)));
    p = end;
  }
  return out;
}

// The value of "NAME = value" or "NAME: value" in xprop's or xwininfo's output.
std::string Field(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, name.size(), name) != 0) continue;
    size_t p = start + name.size();
    while (p < line.size() && line[p] == ' ') ++p;
    if (p < line.size() && (line[p] == '=' || line[p] == ':')) {
      ++p;
      while (p < line.size() && line[p] == ' ') ++p;
      return line.substr(p);
    }
  }
  return "";
}

// A quoted xprop string, its escapes undone.
std::string Unquote(const std::string& value) {
  if (value.size() < 2 || value.front() != '"') return "";
  std::string out;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    char c = value[i];
    if (c != '\\' || i + 2 >= value.size()) {
      out += c;
      continue;
    }
    char n = value[++i];
    if (n >= '0' && n <= '7') {
      int code = 0;
      for (int k = 0; k < 3 && i < value.size() - 1 && value[i] >= '0' && value[i] <= '7'; ++k, ++i)
        code = code * 8 + (value[i] - '0');
      --i;
      out += char(code);
    } else if (n == 'n') {
      out += '\n';
    } else {
      out += n;
    }
  }
  return out;
}

int Number(const std::string& text, const std::string& name) {
  std::string v = Field(text, name);
  return v.empty() ? 0 : std::atoi(v.c_str());
}

// `text` made safe for a file name, at most `most` characters.
std::string Safe(const std::string& text, size_t most) {
  std::string out;
  for (char c : text) out += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ? c : '_';
  return out.substr(0, most);
}

// The children of this process, from /proc.
std::vector<pid_t> Children() {
  std::vector<pid_t> out;
  const pid_t self = ::getpid();
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    std::string stat = ReadFile(e.path().string() + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    long ppid = 0;
    rest >> state >> ppid;
    if (ppid == self) out.push_back(pid_t(std::stol(name)));
  }
  return out;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Window& w) { return out << Hex(w.id); }

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.x << "," << r.y << " " << r.width << "x" << r.height << ")";
}

struct XSession::Hooks : detail::SessionHooks {};

XSession::XSession(std::chrono::milliseconds startTimeout) {
  if (g_session) throw std::runtime_error("XSession: one session at a time in a test");
  std::string missing;
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import"})
    if (detail::FindOnPath(tool).empty()) missing += std::string(" ") + tool;
  if (!missing.empty())
    throw std::runtime_error("XSession: not installed:" + missing +
                             " (tools/install-deps.sh installs them)");

  std::string tmpl = (fs::temp_directory_path() / "krv-x-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("XSession: mkdtemp failed");
  dir_ = tmpl;
  home_ = dir_ + "/home";
  fs::create_directories(home_);
  fs::create_directories(dir_ + "/runtime");
  ::chmod((dir_ + "/runtime").c_str(), 0700);

  try {
    // Xvfb writes the number of the display it took, once it is ready.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("XSession: pipe failed");
    int log = ::open((dir_ + "/xvfb.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    detail::SpawnRequest xvfb;
    xvfb.path = detail::FindOnPath("Xvfb");
    xvfb.argv = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-nolisten", "tcp",
                 "-screen", "0", kScreen, "-noreset"};
    xvfb.envp = detail::ChangedEnvironment({});
    xvfb.outFd = xvfb.errFd = log;
    xvfb.keepFd = ready[1];
    xvfb.ownGroup = true;
    std::string error;
    xvfb_ = detail::Spawn(xvfb, error);
    ::close(ready[1]);
    ::close(log);
    if (xvfb_ < 0) {
      ::close(ready[0]);
      throw std::runtime_error("XSession: " + error);
    }
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (number.find('\n') == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{ready[0], POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) == 0) break;
      char buf[32];
      ssize_t n = ::read(ready[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      number.append(buf, size_t(n));
    }
    ::close(ready[0]);
    if (number.find('\n') == std::string::npos)
      throw std::runtime_error("XSession: Xvfb did not start:\n" + Tail(dir_ + "/xvfb.log"));
    display_ = ":" + number.substr(0, number.find('\n'));
    env_ = {{"DISPLAY", display_}, {"LC_ALL", "C.UTF-8"}};

    // openbox with its shipped configuration, none of the user's.
    log = ::open((dir_ + "/openbox.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    detail::SpawnRequest wm;
    wm.path = detail::FindOnPath("openbox");
    wm.argv = {"openbox", "--sm-disable"};
    wm.envp = detail::ChangedEnvironment({{"DISPLAY", display_},
                                          {"HOME", home_},
                                          {"XDG_CONFIG_HOME", dir_ + "/config"},
                                          {"XDG_CACHE_HOME", dir_ + "/cache"},
                                          {"XDG_DATA_HOME", dir_ + "/data"},
                                          {"XDG_STATE_HOME", dir_ + "/state"},
                                          {"SESSION_MANAGER", std::nullopt}});
    wm.outFd = wm.errFd = log;
    wm.ownGroup = true;
    openbox_ = detail::Spawn(wm, error);
    ::close(log);
    if (openbox_ < 0) throw std::runtime_error("XSession: " + error);
    bool managing = detail::Poll(
        [&] {
          if (detail::WaitForPid(openbox_, std::chrono::milliseconds(0)) != -1) {
            openbox_ = -1;
            return true;
          }
          auto r = detail::RunTool({"xprop", "-root", "-notype", "_NET_SUPPORTING_WM_CHECK"}, env_,
                                   kToolTimeout);
          return r.status == 0 && !HexNumbers(r.out).empty();
        },
        startTimeout);
    if (!managing || openbox_ < 0)
      throw std::runtime_error("XSession: openbox did not start on " + display_ + ":\n" +
                               Tail(dir_ + "/openbox.log"));
  } catch (...) {
    if (openbox_ > 0) detail::EndProcess(openbox_, false, std::chrono::seconds(5));
    if (xvfb_ > 0) detail::EndProcess(xvfb_, false, std::chrono::seconds(5));
    std::error_code ec;
    fs::remove_all(dir_, ec);
    throw;
  }

  // Whatever the programs start and leave becomes this process's child,
  // so that the end of the session finds and ends it.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);

  hooks_ = new Hooks;
  hooks_->environment = {
      {"DISPLAY", display_},
      {"QT_QPA_PLATFORM", "xcb"},
      {"HOME", home_},
      {"XDG_RUNTIME_DIR", dir_ + "/runtime"},
      // Nothing of the desktop the tests were started from.
      {"XDG_CONFIG_HOME", std::nullopt},
      {"XDG_DATA_HOME", std::nullopt},
      {"XDG_CACHE_HOME", std::nullopt},
      {"XDG_STATE_HOME", std::nullopt},
      {"XDG_CURRENT_DESKTOP", std::nullopt},
      {"XDG_SESSION_TYPE", std::nullopt},
      {"DESKTOP_SESSION", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
      {"SESSION_MANAGER", std::nullopt},
      {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
      {"XAUTHORITY", std::nullopt},
      {"QT_QPA_PLATFORMTHEME", std::nullopt},
      {"QT_STYLE_OVERRIDE", std::nullopt},
      {"QT_SCALE_FACTOR", std::nullopt},
      {"QT_SCREEN_SCALE_FACTORS", std::nullopt},
      {"QT_AUTO_SCREEN_SCALE_FACTOR", std::nullopt},
      {"QT_ENABLE_HIGHDPI_SCALING", std::nullopt},
      {"QT_FONT_DPI", std::nullopt},
      // Input comes only from the keyboard and the mouse.
      {"QT_ACCESSIBILITY", "0"},
      {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", std::nullopt},
      {"NO_AT_BRIDGE", "1"},
  };
  hooks_->screenshot = [this](const std::string& label) { return Screenshot(label); };
  detail::SetSessionHooks(hooks_);
  g_session = this;
}

XSession::~XSession() {
  // A session in the test's body ends while the failure's exception unwinds,
  // before GoogleTest has counted it.
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0) {
    std::string shot = Screenshot("at-failure");
    if (!shot.empty()) std::cerr << "XSession: the screen as the failed test ended: " << shot << "\n";
  } else {
    std::error_code ec;
    for (const auto& f : shotFiles_) fs::remove(f, ec);  // failures it expected
  }
  detail::SetSessionHooks(nullptr);
  g_session = nullptr;
  EndLeftovers();
  if (openbox_ > 0) detail::EndProcess(openbox_, false, std::chrono::seconds(5));
  if (xvfb_ > 0) detail::EndProcess(xvfb_, false, std::chrono::seconds(5));
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  delete hooks_;
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void XSession::EndLeftovers() {
  // Programs still held by the test are ended by their handles; every other
  // child (those the programs left behind, which came to this process) now.
  for (int round = 0; round < 10; ++round) {
    const auto live = detail::LivePrograms();
    std::vector<pid_t> left;
    for (pid_t pid : Children())
      if (pid != xvfb_ && pid != openbox_ && std::find(live.begin(), live.end(), pid) == live.end())
        left.push_back(pid);
    if (left.empty()) return;
    for (pid_t pid : left) detail::EndProcess(pid, false, std::chrono::seconds(2));
  }
}

std::string XSession::Screenshot(const std::string& label) {
  const char* where = ::getenv("KRV_SCREENSHOT_DIR");
  std::string dir = where && *where ? where : fs::current_path().string();
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::string test = "session";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    test = std::string(info->test_suite_name()) + "." + info->name();
  std::string file = (fs::path(dir) / (Safe(test, 160) + "-" + std::to_string(++shots_) + "-" +
                                       Safe(label, 40) + ".png"))
                         .string();
  auto r = detail::RunTool({"import", "-window", "root", file}, env_, kToolTimeout);
  if (r.status != 0 || !fs::exists(file)) {
    std::cerr << "XSession: screenshot failed: " << r.err << "\n";
    return "";
  }
  shotFiles_.push_back(file);
  return file;
}

std::string XSession::Pixels(Window w, Rect area) {
  Rect c = ClientArea(w);
  std::ostringstream crop;
  crop << area.width << "x" << area.height << "+" << c.x + area.x << "+" << c.y + area.y;
  auto r = detail::RunTool(
      {"import", "-window", "root", "-crop", crop.str(), "+repage", "-depth", "8", "rgb:-"}, env_,
      kToolTimeout);
  if (r.status != 0 || r.out.size() != size_t(area.width) * size_t(area.height) * 3)
    Fail("cannot read the pixels " + crop.str() + " of the screen: " + r.err);
  return r.out;
}

void XSession::Fail(const std::string& message) {
  std::string shot = Screenshot("failure");
  throw std::runtime_error(message + (shot.empty() ? "" : "\n  the screen then: " + shot));
}

std::string XSession::Xdotool(const std::vector<std::string>& args, const char* what) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = detail::RunTool(argv, env_, kToolTimeout);
  if (r.status != 0) {
    std::string call;
    for (const auto& a : argv) call += " " + a;
    Fail(std::string(what) + ": xdotool failed (status " + std::to_string(r.status) + "):" + call +
         "\n" + r.err);
  }
  return r.out;
}

std::vector<XSession::WindowInfo> XSession::Managed() {
  auto r = detail::RunTool({"xprop", "-root", "-notype", "_NET_CLIENT_LIST_STACKING"}, env_,
                           kToolTimeout);
  if (r.status != 0) Fail("cannot read the window list: " + r.err);
  std::vector<WindowInfo> out;
  for (uint32_t id : HexNumbers(r.out)) out.push_back(Describe(Window{id}));
  return out;
}

XSession::WindowInfo XSession::Describe(Window w) {
  WindowInfo info;
  info.window = w;
  auto r = detail::RunTool({"xprop", "-id", Hex(w.id), "-notype", "_NET_WM_NAME", "WM_NAME",
                            "_NET_WM_PID", "WM_STATE", "_NET_WM_STATE"},
                           env_, kToolTimeout);
  if (r.status != 0) return info;  // gone
  std::string name = Field(r.out, "_NET_WM_NAME");
  if (name.empty() || name[0] != '"') name = Field(r.out, "WM_NAME");
  info.title = Unquote(name);
  info.pid = Number(r.out, "_NET_WM_PID");
  info.shown = r.out.find("window state: Normal") != std::string::npos &&
               Field(r.out, "_NET_WM_STATE").find("_NET_WM_STATE_HIDDEN") == std::string::npos;
  return info;
}

std::vector<Window> XSession::Windows() {
  std::vector<Window> out;
  for (const auto& i : Managed())
    if (i.shown) out.push_back(i.window);
  return out;
}

std::vector<Window> XSession::WindowsOf(const Program& program) {
  std::vector<Window> out;
  for (const auto& i : Managed())
    if (i.shown && i.pid == program.pid()) out.push_back(i.window);
  return out;
}

bool XSession::Shown(Window w) {
  for (const auto& i : Managed())
    if (i.window == w) return i.shown;
  return false;
}

std::string XSession::Title(Window w) { return Describe(w).title; }

Window XSession::WaitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
  Window found;
  bool ok = detail::Poll(
      [&] {
        for (const auto& i : Managed())
          if (i.shown && i.title == title) found = i.window;  // the topmost wins
        return bool(found);
      },
      timeout);
  if (!ok) {
    std::string shown;
    for (const auto& i : Managed())
      if (i.shown) shown += "\n    \"" + i.title + "\"";
    Fail("no window titled \"" + title + "\" within " + std::to_string(timeout.count()) +
         " ms; shown:" + (shown.empty() ? " none" : shown));
  }
  return found;
}

void XSession::WaitUntilGone(Window w, std::chrono::milliseconds timeout) {
  if (!detail::Poll([&] { return !Shown(w); }, timeout))
    Fail("window " + Hex(w.id) + " \"" + Title(w) + "\" still shown after " +
         std::to_string(timeout.count()) + " ms");
}

Window XSession::ActiveWindow() {
  auto r = detail::RunTool({"xprop", "-root", "-notype", "_NET_ACTIVE_WINDOW"}, env_, kToolTimeout);
  auto ids = HexNumbers(r.out);
  return ids.empty() ? Window{} : Window{ids[0]};
}

void XSession::Activate(Window w, std::chrono::milliseconds timeout) {
  detail::RunTool({"xdotool", "windowactivate", Hex(w.id)}, env_, kToolTimeout);
  if (!detail::Poll([&] { return ActiveWindow() == w; }, timeout)) {
    Window active = ActiveWindow();
    Fail("window " + Hex(w.id) + " \"" + Title(w) + "\" did not become active within " +
         std::to_string(timeout.count()) + " ms; the active window is " + Hex(active.id) + " \"" +
         Title(active) + "\"");
  }
}

void XSession::RequireActive(Window w, const char* action) {
  if (detail::Poll([&] { return ActiveWindow() == w; }, kWindowTimeout)) return;
  Window active = ActiveWindow();
  Fail(std::string(action) + " for window " + Hex(w.id) + " \"" + Title(w) +
       "\", which does not have the keyboard; the active window is " + Hex(active.id) + " \"" +
       Title(active) + "\"");
}

Rect XSession::ClientArea(Window w) {
  auto r = detail::RunTool({"xwininfo", "-id", Hex(w.id)}, env_, kToolTimeout);
  if (r.status != 0) Fail("no window " + Hex(w.id) + ": " + r.err);
  return {Number(r.out, "Absolute upper-left X"), Number(r.out, "Absolute upper-left Y"),
          Number(r.out, "Width"), Number(r.out, "Height")};
}

Rect XSession::Frame(Window w) {
  Rect c = ClientArea(w);
  auto r = detail::RunTool({"xprop", "-id", Hex(w.id), "-notype", "_NET_FRAME_EXTENTS"}, env_,
                           kToolTimeout);
  std::istringstream values(Field(r.out, "_NET_FRAME_EXTENTS"));
  int left = 0, right = 0, top = 0, bottom = 0;
  char comma;
  values >> left >> comma >> right >> comma >> top >> comma >> bottom;
  return {c.x - left, c.y - top, c.width + left + right, c.height + top + bottom};
}

void XSession::Click(Window w, Point at, int button, int count) {
  Rect c = ClientArea(w);
  if (at.x < 0 || at.y < 0 || at.x >= c.width || at.y >= c.height) {
    std::ostringstream s;
    s << "a click at (" << at.x << "," << at.y << ") lies outside the client area " << c
      << " of window " << Hex(w.id) << " \"" << Title(w) << "\"";
    Fail(s.str());
  }
  Xdotool({"mousemove", "--sync", std::to_string(c.x + at.x), std::to_string(c.y + at.y), "click",
           "--repeat", std::to_string(count), std::to_string(button)},
          "click");
}

void XSession::Key(Window w, const std::string& chords) {
  RequireActive(w, ("keys \"" + chords + "\"").c_str());
  std::vector<std::string> args{"key", "--delay", "30"};
  std::istringstream words(chords);
  std::string chord;
  while (words >> chord) args.push_back(chord);
  Xdotool(args, "keys");
}

void XSession::Type(Window w, const std::string& text) {
  RequireActive(w, ("typing \"" + text + "\"").c_str());
  Xdotool({"type", "--delay", "15", "--", text}, "typing");
}

}  // namespace krv::testing
