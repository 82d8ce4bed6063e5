// The screen reader under Wine: tests/access/uia-read.cpp, a UI Automation
// client as Narrator, NVDA and JAWS are, which reads the window's name and
// its text element's name, type and live setting. Wine's UI Automation
// raises no events (docs/libraries.md), so what it reads is the tree alone.
#include "harness.hpp"
#include "reader.hpp"

namespace harness {
namespace {

class Uia final : public Reader {
 public:
  std::string told(int hint) override {
    const std::string demo = ZAN_DEMO_PATH;
    const std::string client =
        "ZAN_EXE=" + demo.substr(0, demo.rfind('/')) + "/uia-read.exe " + demo;
    const std::string text = hints[hint].text;
    const std::string expected = "windowname|" + text + "|text|polite\n";
    std::string read;
    for (const auto deadline = Clock::now() + patience;
         read != expected && Clock::now() < deadline;) {
      read = output_of(client);
    }
    if (read != expected) {
      return read;
    }
    return (hint == 0 ? "windowname\n" : "") + text + "\n";
  }
  std::string told_after_end() override { return ""; }
};

}  // namespace

std::unique_ptr<Reader> Reader::open(std::string& /*why_not*/) { return std::make_unique<Uia>(); }

}  // namespace harness
