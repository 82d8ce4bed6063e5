// The screen reader on Linux: Orca itself, which tests/access/with-orca
// starts before the case. What the player hears is each SPEECH OUTPUT line
// of Orca's debug log.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "harness.hpp"
#include "reader.hpp"

namespace harness {
namespace {

class Orca final : public Reader {
 public:
  // What Orca said before, for an earlier case, is not heard again.
  explicit Orca(std::string log) : log_(std::move(log)) { heard_since(); }

  // A case's next key waits for this too: until its main loop runs, Orca 51
  // holds grabs on bare letters (q among them) on the focused window, and a
  // key they catch never reaches the game (docs/libraries.md).
  std::string told(int hint) override {
    const std::string wanted = std::string(hints[hint].text) + "\n";
    std::string said;
    for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;
         std::this_thread::sleep_for(50ms)) {
      said += heard_since();
      if (looping_ && said.size() >= wanted.size() &&
          said.compare(said.size() - wanted.size(), wanted.size(), wanted) == 0) {
        break;
      }
    }
    return said;
  }

  // A second saying comes at once with the first: once Orca has said
  // nothing for a second, it has said all.
  std::string told_until_quiet() override {
    std::string said;
    auto quiet_since = Clock::now();
    for (const auto deadline = Clock::now() + patience;
         Clock::now() < deadline && Clock::now() - quiet_since < 1s;
         std::this_thread::sleep_for(50ms)) {
      const size_t before = spoken_;
      said += heard_since();
      if (spoken_ != before) {
        quiet_since = Clock::now();
      }
    }
    return said;
  }

 private:
  // The title or hints in the lines Orca has spoken since the last call,
  // one a line; whatever else it says (the keys it echoes) is left out.
  std::string heard_since() {
    std::ifstream file(log_);
    file.seekg(static_cast<std::streamoff>(read_));
    std::string said;
    std::string line;
    while (std::getline(file, line) && !file.eof()) {
      read_ += line.size() + 1;
      // "Starting ATSPI registry." (Orca 43), "Starting Atspi main event loop" (48 on)
      looping_ = looping_ || line.find("ORCA: Starting A") != std::string::npos;
      if (line.find("SPEECH OUTPUT: '") == std::string::npos) {
        continue;
      }
      ++spoken_;
      for (const Hint& hint : hints) {
        if (line.find(hint.text) != std::string::npos) {
          said += hint.text + "\n";
          line.clear();
        }
      }
      if (line.find("windowname") != std::string::npos) {
        said += "windowname\n";
      }
    }
    return said;
  }

  std::string log_;
  size_t read_ = 0;       // how much of the log has been read: whole lines only
  size_t spoken_ = 0;     // how many lines Orca has spoken
  bool looping_ = false;  // Orca's main loop runs: its start-up is over
};

}  // namespace

std::unique_ptr<Reader> Reader::open(std::string& why_not) {
  const char* const log = std::getenv("ZAN_ORCA_LOG");
  if (log == nullptr) {
    why_not = "Orca does not run for this case: ctest starts it, through tests/access/with-orca";
    return nullptr;
  }
  return std::make_unique<Orca>(log);
}

}  // namespace harness
