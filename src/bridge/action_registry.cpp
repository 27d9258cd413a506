#include "bridge/action_registry.h"

#include <utility>

#include "base/ascii.h"

void ActionRegistry::Add(std::string name, Reach reach, Handler run) {
  actions_.push_back(Action{std::move(name), reach, std::move(run)});
}

const ActionRegistry::Action* ActionRegistry::Find(std::string_view name) const {
  for (const Action& action : actions_) {
    if (EqualsIgnoringAsciiCase(action.name, name)) return &action;
  }
  return nullptr;
}
