// Benchmark: zan-demo against the floor program, and against itself with the
// library's fallback font instead of the project's tileset, run in turn in
// one X server, with real XTest keys and the window's pixels read back. Prints a
// Markdown table. It asserts nothing about the figures; it fails only when it
// cannot take them (a window that never appears, a program that never exits).
//
//   zan-bench [--quick]    --quick: one pair of runs, 1 s of idle; for CI

#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "../tests/harness.hpp"
// After GoogleTest, whose names clash with its macros.
#include <X11/Xutil.h>

namespace harness {
namespace {

struct Options {
  int pairs = 5;
  int keys = 40;
  std::chrono::seconds idle{10};
};
Options options;

constexpr int text_row = 24;

// One run of one program.
struct Sample {
  double first_frame_ms = 0;
  double key_p50_ms = 0;
  double key_p95_ms = 0;
  double close_ms = 0;
  double idle_ticks = 0;
  double idle_wakeups = 0;
  double peak_rss_mib = 0;
};

double ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
  return values[std::max<size_t>(rank, 1) - 1];
}

bool has_ink(const std::vector<char>& band) {
  for (size_t i = 4; i < band.size(); i += 4) {
    if (std::memcmp(&band[i], &band[0], 3) != 0) {
      return true;
    }
  }
  return false;
}

// CPU ticks (user + system) and context switches (voluntary + not) so far,
// over all the process's threads: /proc/PID/stat counts them all, but
// /proc/PID/status only the main thread, so the switches are summed per task.
std::pair<long, long> usage(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
  const long ticks = std::stol(field[11]) + std::stol(field[12]);  // utime, stime
  long switches = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        switches += std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return {ticks, switches};
}

double peak_rss_mib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stod(line.substr(6)) / 1024.0;
    }
  }
  return 0;
}

// The raw pixels of the text row, cheap enough to poll closely.
std::vector<char> band(Display* display, const Demo& demo) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, demo.window(), &attributes) || attributes.height < rows) {
    return {};
  }
  const int cell_h = attributes.height / rows;
  XImage* image = XGetImage(display, demo.window(), 0, text_row * cell_h,
                            static_cast<unsigned>(attributes.width), static_cast<unsigned>(cell_h),
                            AllPlanes, ZPixmap);
  if (image == nullptr) {
    return {};
  }
  std::vector<char> bytes(image->data, image->data + image->bytes_per_line * image->height);
  XDestroyImage(image);
  return bytes;
}

// Polls the text row until it differs from `before`; polling is cheap here
// because only one row of cells is read.
std::vector<char> await_change(Display* display, const Demo& demo,
                               const std::vector<char>& before) {
  const auto deadline = Clock::now() + patience;
  std::vector<char> now = band(display, demo);
  while (now == before && Clock::now() < deadline) {
    std::this_thread::sleep_for(100us);
    now = band(display, demo);
  }
  if (now == before) {
    ADD_FAILURE() << "the frame did not change after a key";
  }
  return now;
}

Sample measure(DisplayServer& server, const std::string& program, const std::string& cwd) {
  Display* const display = server.xlib();
  Sample sample;
  Demo demo(server, {}, program, cwd);

  // SDL may replace its first window while starting, so look again until a
  // window shows the text.
  std::vector<char> band;
  while (!has_ink(band) && demo.locate() && Clock::now() < demo.started() + patience) {
    band = harness::band(display, demo);
    if (!has_ink(band)) {
      std::this_thread::sleep_for(100us);
    }
  }
  sample.first_frame_ms = ms(Clock::now() - demo.started());
  if (!has_ink(band)) {
    ADD_FAILURE() << program << " showed no text";
    return sample;
  }

  demo.wait_idle();
  const auto idle_start = usage(demo.pid());
  std::this_thread::sleep_for(options.idle);
  const auto idle_end = usage(demo.pid());
  const double scale = 10.0 / static_cast<double>(options.idle.count());  // per 10 s
  sample.idle_ticks = static_cast<double>(idle_end.first - idle_start.first) * scale;
  sample.idle_wakeups = static_cast<double>(idle_end.second - idle_start.second) * scale;

  std::vector<double> keys;
  for (int i = 0; i < options.keys; ++i) {
    const std::vector<char> before = harness::band(display, demo);
    const auto pressed = Clock::now();
    demo.tap(XK_x);
    await_change(display, demo, before);
    keys.push_back(ms(Clock::now() - pressed));
    demo.wait_idle();
  }
  sample.key_p50_ms = percentile(keys, 0.50);
  sample.key_p95_ms = percentile(keys, 0.95);
  sample.peak_rss_mib = peak_rss_mib(demo.pid());

  const auto closed = Clock::now();
  demo.close_window();
  const Ending ending = demo.wait_exit(closed);
  sample.close_ms = static_cast<double>(ending.took.count()) / 1000.0;
  EXPECT_TRUE(exited_with(ending, 0)) << program;
  return sample;
}

std::string spread(std::vector<double> values, int decimals) {
  std::sort(values.begin(), values.end());
  char text[96];
  std::snprintf(text, sizeof text, "%.*f (%.*f–%.*f)", decimals, percentile(values, 0.5), decimals,
                values.front(), decimals, values.back());
  return text;
}

std::string ratio(const std::vector<double>& demo, const std::vector<double>& floor) {
  std::vector<double> ratios;
  for (size_t i = 0; i < demo.size(); ++i) {
    if (floor[i] > 0) {
      ratios.push_back(demo[i] / floor[i]);
    }
  }
  return ratios.empty() ? "—" : spread(ratios, 3);
}

struct Figure {
  const char* name;
  double Sample::*field;
  int decimals;
};

void print_table(const char* a_name, const std::vector<Sample>& a_runs, const char* b_name,
                 const std::vector<Sample>& b_runs, const std::vector<Figure>& figures) {
  std::printf(
      "| figure | %s, median (min–max) | %s, median (min–max) | "
      "ratio, run by run |\n|---|---|---|---|\n",
      a_name, b_name);
  for (const Figure& figure : figures) {
    std::vector<double> a;
    std::vector<double> b;
    for (size_t i = 0; i < a_runs.size(); ++i) {
      a.push_back(a_runs[i].*figure.field);
      b.push_back(b_runs[i].*figure.field);
    }
    std::printf("| %s | %s | %s | %s |\n", figure.name, spread(a, figure.decimals).c_str(),
                spread(b, figure.decimals).c_str(), ratio(a, b).c_str());
  }
  std::printf("\n");
}

class Bench : public DemoTest {};

// Three programs in turn: the demo as shipped (with the project's tileset),
// the floor with the same tileset, and the demo in a folder without the
// tileset, where the library draws with its fallback font.
TEST_F(Bench, DemoAgainstFloorAndFallback) {
  const std::string shipped = Demo::demo_dir();
  const TempDir empty_folder;
  const std::string& fallback = empty_folder.path();
  // One unmeasured run of each first, so that none pays for cold caches.
  measure(*server, ZAN_DEMO_PATH, shipped);
  measure(*server, ZAN_FLOOR_PATH, shipped);
  measure(*server, ZAN_DEMO_PATH, fallback);
  std::vector<Sample> demo_runs;
  std::vector<Sample> floor_runs;
  std::vector<Sample> fallback_runs;
  for (int round = 0; round < options.pairs && !HasFailure(); ++round) {
    demo_runs.push_back(measure(*server, ZAN_DEMO_PATH, shipped));
    floor_runs.push_back(measure(*server, ZAN_FLOOR_PATH, shipped));
    fallback_runs.push_back(measure(*server, ZAN_DEMO_PATH, fallback));
  }
  ASSERT_FALSE(HasFailure());

  const Figure first_frame{"first frame (ms)", &Sample::first_frame_ms, 1};
  const Figure key_p50{"key → frame p50 (ms)", &Sample::key_p50_ms, 2};
  const Figure peak_rss{"peak RSS (MiB)", &Sample::peak_rss_mib, 1};
  std::printf("\n%d rounds of runs, %d keys each, %lld s idle; %ld cores, %s\n\n", options.pairs,
              options.keys, static_cast<long long>(options.idle.count()),
              sysconf(_SC_NPROCESSORS_ONLN), "Xvfb 1920x1080x24");
  print_table("zan-demo", demo_runs, "floor", floor_runs,
              {first_frame,
               key_p50,
               {"key → frame p95 (ms)", &Sample::key_p95_ms, 2},
               {"close → exit (ms)", &Sample::close_ms, 2},
               {"idle CPU ticks per 10 s", &Sample::idle_ticks, 0},
               {"idle wake-ups per 10 s", &Sample::idle_wakeups, 0},
               peak_rss});
  print_table("zan-demo with its tileset", demo_runs, "zan-demo with the fallback font",
              fallback_runs, {first_frame, key_p50, peak_rss});
}

}  // namespace
}  // namespace harness

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      harness::options = {1, 30, std::chrono::seconds(1)};
    } else {
      std::fprintf(stderr, "zan-bench: unknown argument %s (only --quick)\n", argv[i]);
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
