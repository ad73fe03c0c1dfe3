// The Windows side of scripts/bench: start-up, click-to-picture and memory of the real porvanta.exe,
// each against a baseline measured in the same run, runs of program and baseline interleaved.
//   bench_driver.exe [RUNS [CLICKS]]   (defaults 15 and 30)
#define PSAPI_VERSION 2
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/click_times.h"
#include "core/wifi.h"
#include "encoding/script_control.h"
#include "imaging/image.h"
#include "platform/download.h"
#include "platform/handles.h"
#include "platform/internet_handle.h"
#include "tests/ui/driver.h"

namespace {

struct HookTraits {
  using Type = HHOOK;
  static Type invalid() { return nullptr; }
  static void close(Type h) { UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueHandle<HookTraits>;

struct ModuleTraits {
  using Type = HMODULE;
  static Type invalid() { return nullptr; }
  static void close(Type h) { FreeLibrary(h); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

struct ViewTraits {
  using Type = void*;
  static Type invalid() { return nullptr; }
  static void close(Type p) { UnmapViewOfFile(p); }
};
using UniqueView = UniqueHandle<ViewTraits>;

// The texts the clicks send; the password alternates so that every click shows a new picture.
constexpr char networkName[] = "家里的网络 Home";
const char* const passwords[] = {"correct horse:battery;staple", "correct horse:battery;staple#2"};

LONGLONG now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

double ms(LONGLONG from, LONGLONG to) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return 1000.0 * static_cast<double>(to - from) / frequency;
}

// Finer than ui::pollUntil: start-up is timed to the moment the condition is seen.
template <class Cond>
bool pollFast(Cond cond, int timeoutMs) {
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(1);
  }
}

// One value per round or click; NaN where that one failed, so that rounds stay paired.
using Samples = std::vector<double>;
constexpr double failed = NAN;

size_t count(const Samples& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](double v) { return !std::isnan(v); }));
}

double quantile(Samples s, double q) {
  std::erase_if(s, [](double v) { return std::isnan(v); });
  if (s.empty()) return NAN;
  std::sort(s.begin(), s.end());
  double at = q * static_cast<double>(s.size() - 1);
  size_t low = static_cast<size_t>(at);
  size_t high = std::min(low + 1, s.size() - 1);
  return s[low] + (s[high] - s[low]) * (at - static_cast<double>(low));
}
double median(const Samples& s) {
  return quantile(s, 0.5);
}

// Per round, op(a, b) of values measured next to each other: drift over the run cancels.
template <class Op>
Samples paired(const Samples& a, const Samples& b, Op op) {
  Samples out;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) out.push_back(op(a[i], b[i]));
  return out;
}
double ratio(const Samples& a, const Samples& b) {
  return median(paired(a, b, std::divides<>()));
}
double difference(const Samples& a, const Samples& b) {
  return median(paired(a, b, std::minus<>()));
}

// "12.3 ms (p25-p75 11.9-13.0, n=15)"
std::string spread(const Samples& s) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.1f ms (p25-p75 %.1f-%.1f, n=%zu)", median(s), quantile(s, 0.25), quantile(s, 0.75),
                count(s));
  return buf;
}

void figure(const char* name, const std::string& value, const char* baselineName, const std::string& baseline,
            double ratio, const char* target) {
  std::printf("%-10s %s | baseline %s: %s | ratio %.2fx | target %s\n", name, value.c_str(), baselineName,
              baseline.c_str(), ratio, target);
}

struct Memory {
  double peak = 0, workingSet = 0;  // bytes
};

Memory memoryOf(DWORD pid) {
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  if (!process || !GetProcessMemoryInfo(process.get(), &c, sizeof c)) return {};
  return {static_cast<double>(c.PeakWorkingSetSize), static_cast<double>(c.WorkingSetSize)};
}

// Ready for input: the window is visible, the keyboard focus has reached where typing goes
// (编辑框1 for the program, the window itself for the baseline), and the window answers a message,
// so its thread is in its message loop.
HWND readyWindow(const ui::App& app, bool isPorvanta) {
  HWND w = app.findTopLevel(nullptr);
  if (!w) return nullptr;
  HWND focus = ui::focusOf(w);
  if (isPorvanta) {
    std::vector<HWND> kids = ui::children(w);
    if (kids.size() < 8 || focus != kids[2]) return nullptr;
  } else if (focus != w) {
    return nullptr;
  }
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) ? w : nullptr;
}

struct StartUp {
  std::optional<double> ms;
  Memory memory;
};

StartUp startUp(const std::string& exe, bool isPorvanta) {
  StartUp result;
  LONGLONG start = now();
  ui::App app = ui::App::launch(exe);
  if (!app.running()) return result;
  if (!pollFast([&] { return readyWindow(app, isPorvanta) != nullptr; }, 20000)) return result;
  result.ms = ::ms(start, now());
  result.memory = memoryOf(app.pid());
  return result;  // the App ends the process: how fast Wine ends one is no part of this
}

struct SetUpProbe {
  double ole = 0, setUp = 0;
};

// bench_setup.exe in a fresh process; its one line of output through a pipe.
std::optional<SetUpProbe> runSetUpProbe() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueKernelHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return {};
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  std::string path = ui::winPath(BENCH_SETUP_EXE);
  std::string cmd = "\"" + path + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return {};
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  writeEnd.reset();
  std::string out;
  char buf[256];
  DWORD got = 0;
  while (out.size() < 4096 && ReadFile(readEnd.get(), buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  WaitForSingleObject(process.get(), 20000);
  SetUpProbe probe;
  int made = 0;
  if (std::sscanf(out.c_str(), "%lf %lf %d", &probe.ole, &probe.setUp, &made) != 3 || !made) return {};
  return probe;
}

// The programs whose start-up is timed, the baseline first; each later one adds a part of the
// program's start-up to the one before.
struct Starter {
  const char* label;
  const char* exe;
  bool isPorvanta;
};
const Starter starters[] = {
    {"minimal window", BENCH_WINDOW_EXE, false},
    {"+ imports and manifest", BENCH_WINDOW_IMPORTS_EXE, false},
    {"+ OleInitialize and setUpScriptControl", BENCH_WINDOW_SCRIPT_EXE, false},
    {"porvanta.exe", PORVANTA_EXE, true},
};
constexpr int starterCount = sizeof starters / sizeof starters[0];

struct StartUpFigures {
  Samples times[starterCount];
  Samples ole, setUp;
  Memory minimalMemory;
  int failures = 0;
};

StartUpFigures measureStartUp(int runs) {
  StartUpFigures f;
  // Warm-up: the first start of each program pays for the disk cache and Wine's first loads.
  for (const Starter& s : starters) startUp(s.exe, s.isPorvanta);
  runSetUpProbe();
  constexpr int steps = starterCount + 1;
  for (int i = 0; i < runs; ++i) {
    // Interleaved, the order turned each round: drift and neighbours' load hit all alike.
    for (int k = 0; k < steps; ++k) {
      int which = (i + k) % steps;
      if (which == starterCount) {
        std::optional<SetUpProbe> p = runSetUpProbe();
        f.ole.push_back(p ? p->ole : failed);
        f.setUp.push_back(p ? p->setUp : failed);
        f.failures += !p;
        continue;
      }
      StartUp s = startUp(starters[which].exe, starters[which].isPorvanta);
      f.times[which].push_back(s.ms.value_or(failed));
      f.failures += !s.ms;
      if (which == 0 && s.ms) f.minimalMemory = s.memory;
    }
  }
  return f;
}

struct Target {
  std::string host, path;
  INTERNET_PORT port = 80;
};

std::optional<Target> splitUrl(const Text& url) {
  char host[256] = "", path[2048] = "";
  URL_COMPONENTSA c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = host;
  c.dwHostNameLength = sizeof host;
  c.lpszUrlPath = path;
  c.dwUrlPathLength = sizeof path;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &c)) return {};
  return Target{host, path, c.nPort};
}

struct Bare {
  double get = 0, decode = 0;
  size_t bytes = 0;
  bool decoded = false;
};

// The bare cost of the click's work: one WinINet GET of the same URL, as HTTP/1.0 like the
// program's, and one decode of the same bytes.
std::optional<Bare> bareGetAndDecode(HINTERNET root, const Target& target) {
  Bare bare;
  LONGLONG start = now();
  Bytes body;
  {
    UniqueInternet connection(
        InternetConnectA(root, target.host.c_str(), target.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const char* accept[] = {"*/*", nullptr};
    UniqueInternet request(connection
                               ? HttpOpenRequestA(connection.get(), "GET", target.path.c_str(), "HTTP/1.0", nullptr,
                                                  accept, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                               : nullptr);
    if (!request || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return {};
    unsigned char buf[16384];
    DWORD got = 0;
    while (InternetReadFile(request.get(), buf, sizeof buf, &got) && got) body.insert(body.end(), buf, buf + got);
  }
  LONGLONG fetched = now();
  bare.decoded = decodeImage(body.data(), body.size()).has_value();
  bare.get = ms(start, fetched);
  bare.decode = ms(fetched, now());
  bare.bytes = body.size();
  return bare;
}

Text requestUrl(const char* password) {
  return composeRequestUrl(PORVANTA_SERVICE_URL,
                           composePayload(escapeEncodedWifiField(urlEncodeInProcess(password)),
                                          escapeEncodedWifiField(urlEncodeInProcess(networkName))));
}

struct GenerateFigures {
  // From the screen: click to the new picture's pixels; the time one capture takes.
  Samples onScreen, capture;
  // From the hook: click to the end of the picture view's paint, and its parts.
  Samples painted, dispatch, beforePaint, paint;
  // Helpers in this process, interleaved with the clicks.
  Samples bareGet, bareDecode, download, encode;
  Memory ready, after5, afterAll;
  int failures = 0, bareFailures = 0, encodeFailures = 0;
  size_t bytes = 0;
  std::string error;
};

// Clicks "生成" in a fresh porvanta.exe, each click's picture new. Without the hook only the
// screen tells when the picture is there; with it, the program's own messages are time-stamped
// too, at a price: under Wine every hooked message is a round trip to the server.
GenerateFigures measureGenerate(int clicks, bool hooked) {
  GenerateFigures f;
  UniqueKernelHandle mapping(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ClickTimes), clickTimesName));
  UniqueView view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(ClickTimes)) : nullptr);
  auto* times = static_cast<ClickTimes*>(view.get());
  UniqueModule hookDll(LoadLibraryA(ui::winPath(BENCH_HOOK_DLL).c_str()));
  auto hookProc = [&](const char* name) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(hookDll ? GetProcAddress(hookDll.get(), name) : nullptr));
  };
  HOOKPROC before = hookProc("benchBeforeCall"), after = hookProc("benchAfterCall");
  UniqueInternet root(InternetOpenA("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", INTERNET_OPEN_TYPE_DIRECT,
                                    nullptr, nullptr, 0));
  Text urls[] = {requestUrl(passwords[0]), requestUrl(passwords[1])};
  std::optional<Target> targets[] = {splitUrl(urls[0]), splitUrl(urls[1])};
  if (!times || !before || !after || !root || !targets[0] || !targets[1]) {
    f.error = "cannot set up the click timing";
    return f;
  }

  // The urlEncode helper: a control of this process's own, set up once as the program does.
  HRESULT ole = OleInitialize(nullptr);
  ScriptControl control;
  setUpScriptControl(control);

  ui::App app = ui::App::launch();
  HWND w = nullptr;
  if (!app.running() || !pollFast([&] { return (w = readyWindow(app, true)) != nullptr; }, 20000)) {
    f.error = "porvanta.exe did not become ready";
    return f;
  }
  std::vector<HWND> kids = ui::children(w);
  HWND button = kids[5], picture = kids[7];
  *times = ClickTimes{};
  times->window = w;
  times->button = button;
  times->picture = picture;
  DWORD thread = GetWindowThreadProcessId(w, nullptr);
  UniqueHook beforeHook(hooked ? SetWindowsHookExA(WH_CALLWNDPROC, before, hookDll.get(), thread) : nullptr);
  UniqueHook afterHook(hooked ? SetWindowsHookExA(WH_CALLWNDPROCRET, after, hookDll.get(), thread) : nullptr);
  if (hooked && (!beforeHook || !afterHook)) {
    f.error = "cannot hook porvanta.exe's window thread";
    return f;
  }
  f.ready = memoryOf(app.pid());
  ui::setText(kids[2], networkName);

  auto helpers = [&](int i) {
    std::optional<Bare> b = bareGetAndDecode(root.get(), *targets[i % 2]);
    bool ok = b && b->decoded;
    f.bareGet.push_back(ok ? b->get : failed);
    f.bareDecode.push_back(ok ? b->decode : failed);
    f.bareFailures += !ok;
    if (ok) f.bytes = b->bytes;
    // The program's own download, in this process: what its GET costs beyond the bare one.
    LONGLONG start = now();
    bool fetched = !downloadBytes(urls[i % 2]).empty();
    f.download.push_back(fetched ? ms(start, now()) : failed);
    start = now();
    bool encoded = !urlEncodeByScript(control, networkName).empty();
    encoded = !urlEncodeByScript(control, passwords[i % 2]).empty() && encoded;
    f.encode.push_back(encoded ? ms(start, now()) : failed);
    f.encodeFailures += !encoded;
  };
  auto changed = [&](const ui::Capture& old) {
    LONGLONG start = now();
    bool differs = ui::capture(picture).pixels != old.pixels;
    f.capture.push_back(ms(start, now()));
    return differs;
  };

  for (int i = 0; i < clicks; ++i) {
    ui::setText(kids[4], passwords[i % 2]);
    if (i % 2) helpers(i);
    ui::Capture shownBefore = ui::capture(picture);
    LONG done = times->done;
    LONGLONG clicked = now();
    ui::click(button);
    // The screen's own pixels, read back until they change: late by at most one capture.
    bool shown = pollFast([&] { return changed(shownBefore); }, 5000);
    f.onScreen.push_back(shown ? ms(clicked, now()) : failed);
    f.failures += !shown;
    if (hooked) {
      if (pollFast([&] { return times->done != done; }, 5000) && times->paints == 1) {
        f.painted.push_back(ms(clicked, times->paintEnd));
        f.dispatch.push_back(ms(clicked, times->commandStart));
        f.beforePaint.push_back(ms(times->commandStart, times->paintStart));
        f.paint.push_back(ms(times->paintStart, times->paintEnd));
      } else {
        ++f.failures;
      }
    }
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    if (i + 1 == 5) f.after5 = memoryOf(app.pid());
    if (i + 1 == clicks) f.afterAll = memoryOf(app.pid());
    if (i % 2 == 0) helpers(i);
  }
  control.reset();
  if (SUCCEEDED(ole)) OleUninitialize();
  return f;
}

std::string mib(double bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f MiB", bytes / (1024.0 * 1024.0));
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  int clicks = argc > 2 ? std::atoi(argv[2]) : 30;
  if (runs < 1 || runs > 200 || clicks < 5 || clicks > 500) {
    std::fprintf(stderr, "usage: bench_driver.exe [RUNS 1-200 [CLICKS 5-500]]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);

  StartUpFigures s = measureStartUp(runs);
  for (const Samples& t : s.times)
    if (!count(t) || !count(s.setUp)) {
      std::printf("start-up   FAILED (%d runs did not become ready)\n", s.failures);
      return 1;
    }
  const Samples& minimal = s.times[0];
  const Samples& porvanta = s.times[starterCount - 1];
  figure("start-up", "porvanta.exe " + spread(porvanta), "minimal window", spread(minimal), ratio(porvanta, minimal),
         "<= 1.30x");
  Samples script = paired(s.ole, s.setUp, std::plus<>());
  figure("script", "OleInitialize + setUpScriptControl " + spread(script), "minimal window start-up", spread(minimal),
         ratio(script, minimal), "(part of start-up)");
  std::printf("           of which OleInitialize %s, setUpScriptControl %s (fresh process each)\n",
              spread(s.ole).c_str(), spread(s.setUp).c_str());
  std::printf("           steps from the minimal window to the program (medians of paired differences):");
  for (int i = 1; i < starterCount; ++i)
    std::printf(" %s %+.1f ms%s", starters[i].label, difference(s.times[i], s.times[i - 1]),
                i + 1 < starterCount ? ";" : " (controls, fonts, icon, initial picture)\n");
  if (s.failures) std::printf("           %d start-up runs failed\n", s.failures);

  GenerateFigures g = measureGenerate(clicks, false);
  if (!g.error.empty() || !count(g.onScreen) || !count(g.bareGet)) {
    std::printf("generate   FAILED: %s (%d clicks timed out, %d bare GETs failed)\n",
                g.error.empty() ? "no samples" : g.error.c_str(), g.failures, g.bareFailures);
    return 1;
  }
  Samples bare = paired(g.bareGet, g.bareDecode, std::plus<>());
  figure("generate", "click to new picture on screen " + spread(g.onScreen), "GET + decode", spread(bare),
         ratio(g.onScreen, bare), "<= 2.00x");
  std::printf(
      "           one capture of the picture view takes %s (the figure is late by at most one); "
      "helpers: 2 x urlEncode %.2f ms, GET %.2f ms (the program's downloadBytes %.2f ms), decode %.2f ms "
      "of %zu bytes\n",
      spread(g.capture).c_str(), median(g.encode), median(g.bareGet), median(g.download), median(g.bareDecode),
      g.bytes);
  if (g.failures || g.bareFailures || g.encodeFailures)
    std::printf("           failures: %d clicks, %d GETs, %d encodings\n", g.failures, g.bareFailures,
                g.encodeFailures);

  GenerateFigures h = measureGenerate(std::max(5, clicks / 2), true);
  if (h.error.empty() && !h.painted.empty())
    std::printf(
        "           inside the program, hooked (n=%zu, the hook's own cost included: on screen %.1f ms "
        "hooked against %.1f ms): click to WM_COMMAND %.2f ms, WM_COMMAND to paint %.2f ms, paint %.2f ms, "
        "click to painted %.2f ms\n",
        count(h.painted), median(h.onScreen), median(g.onScreen), median(h.dispatch), median(h.beforePaint),
        median(h.paint), median(h.painted));
  else
    std::printf("           hooked breakdown FAILED: %s\n", h.error.empty() ? "no samples" : h.error.c_str());

  figure("memory", "peak working set after " + std::to_string(clicks) + " generations " + mib(g.afterAll.peak),
         "minimal window", mib(s.minimalMemory.peak), g.afterAll.peak / s.minimalMemory.peak, "(report)");
  figure("growth",
         "working set from generation 5 to " + std::to_string(clicks) + " " +
             mib(g.afterAll.workingSet - g.after5.workingSet),
         "working set at 5", mib(g.after5.workingSet), g.afterAll.workingSet / g.after5.workingSet, "< 1 MiB");
  std::printf("           porvanta.exe when ready: working set %s\n", mib(g.ready.workingSet).c_str());
  return 0;
}
