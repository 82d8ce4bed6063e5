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
    const std::string demo = Demo::demo_path();
    const std::string client =
        "ZAN_EXE=" + demo.substr(0, demo.rfind('/')) + "/uia-read.exe " + demo;
    const std::string text = hints[hint].text;
    const std::string expected = "windowname|" + text + "|text|polite\n";
    std::string read;
    for (const auto deadline = Clock::now() + patience;
         read != expected && Clock::now() < deadline;) {
      read = output_of(client);
    }
    // The window's name, then the text's, as the player would hear them
    // when the text is live; anything else as it was read.
    const size_t name_end = read.find('|');
    const size_t text_end = read.find('|', name_end + 1);
    if (text_end == std::string::npos ||
        read.compare(text_end, std::string::npos, "|text|polite\n") != 0) {
      return read;
    }
    const std::string name = read.substr(0, name_end);
    return (hint == 0 ? name + "\n" : "") + read.substr(name_end + 1, text_end - name_end - 1) +
           "\n";
  }
  // Wine's UI Automation raises no events: only the tree as it is now.
  std::string told_until_quiet() override { return ""; }
  bool hears_each_saying() const override { return false; }
};

}  // namespace

std::unique_ptr<Reader> Reader::open(std::string& /*why_not*/) { return std::make_unique<Uia>(); }

}  // namespace harness
