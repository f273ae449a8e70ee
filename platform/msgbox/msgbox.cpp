#include "platform/msgbox/msgbox.h"

#include <cstdio>
#include <mutex>

namespace platform::msgbox {

namespace {

void writeToStderr(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s%s", caption.c_str(), text.c_str(),
               (!text.empty() && text.back() == '\n') ? "" : "\n");
}

struct Hook {
  std::mutex mutex;
  Handler handler;
};

Hook& hook() {
  static Hook* h = new Hook;  // never destroyed: may be used from exiting threads
  return *h;
}

}  // namespace

void show(const std::string& text, const std::string& caption) {
  Handler handler;
  {
    std::lock_guard lock(hook().mutex);
    handler = hook().handler;
  }
  if (handler) {
    handler(text, caption);
  } else {
    writeToStderr(text, caption);
  }
}

Handler setHandler(Handler handler) {
  std::lock_guard lock(hook().mutex);
  Handler previous = std::move(hook().handler);
  hook().handler = std::move(handler);
  return previous;
}

}  // namespace platform::msgbox
