// A screen reader as players have it, taking in the demo from before it
// starts: Orca itself on Linux (reader_orca.cpp), a UI Automation client
// under Wine (reader_uia.cpp). The build chooses one.
#pragma once

#include <memory>
#include <string>

namespace harness {

class Reader {
 public:
  // Where it cannot listen, nullptr and why, in one line.
  static std::unique_ptr<Reader> open(std::string& why_not);
  virtual ~Reader() = default;
  // Waits until the player has been told the hint with this index, and at
  // the first the window's title before it. Returns what they were told
  // since the last call, one item a line: "windowname", or a hint.
  virtual std::string told(int hint) = 0;
  // What the player was told since the last call, once nothing more has
  // been said for a second.
  virtual std::string told_until_quiet() = 0;
  // Whether it hears each saying, so that told_until_quiet() can find one
  // said twice; a reader of the tree alone sees only the latest.
  virtual bool hears_each_saying() const { return true; }
};

}  // namespace harness
