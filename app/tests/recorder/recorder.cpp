#include "recorder.h"

#include <map>
#include <mutex>

namespace vnl_recorder {

namespace {

struct State {
  std::mutex mutex;
  std::vector<Call> calls;
  std::map<std::string, double> results;
  std::map<std::string, Handler> handlers;
};

State& state() {
  static State s;
  return s;
}

}  // namespace

double dispatch(Call& call) {
  State& s = state();
  Handler handler;
  double result = 0;
  {
    std::lock_guard lock(s.mutex);
    s.calls.push_back(call);
    if (auto h = s.handlers.find(call.name); h != s.handlers.end()) handler = h->second;
    if (auto r = s.results.find(call.name); r != s.results.end()) result = r->second;
  }
  return handler ? handler(call) : result;
}

std::vector<Call> calls() {
  std::lock_guard lock(state().mutex);
  return state().calls;
}

std::vector<Call> callsOf(const std::string& name) {
  std::vector<Call> out;
  for (Call& c : calls())
    if (c.name == name) out.push_back(std::move(c));
  return out;
}

std::vector<std::string> names() {
  std::vector<std::string> out;
  for (const Call& c : calls())
    out.push_back(c.name);
  return out;
}

void clearCalls() {
  std::lock_guard lock(state().mutex);
  state().calls.clear();
}

void setResult(const std::string& name, double value) {
  std::lock_guard lock(state().mutex);
  state().results[name] = value;
}

void setHandler(const std::string& name, Handler handler) {
  std::lock_guard lock(state().mutex);
  state().handlers[name] = std::move(handler);
}

void reset() {
  std::lock_guard lock(state().mutex);
  state().calls.clear();
  state().results.clear();
  state().handlers.clear();
}

}  // namespace vnl_recorder
