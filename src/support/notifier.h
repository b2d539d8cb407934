#pragma once

#include <string_view>

namespace pagewend {

// Where the core sends the messages a user must see (the Windows player showed them in message
// boxes). The GUI shows them on its own thread; the tool prints them on stderr.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void Notify(std::string_view message) = 0;
};

// Drops every message; for callers that have nobody to tell.
class SilentNotifier final : public Notifier {
 public:
  void Notify(std::string_view) override {}
};

}  // namespace pagewend
