#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

class ActionContext;

// The page's actions by name (docs/page-contract.md lists them).
//
// Each subsystem adds its own handlers through its registration function (for instance
// RegisterDownloadActions in download/download_actions.h); the host calls every registration
// function once, before the first message arrives. There is no self-registration: a static
// library drops objects nobody references, and with them their static initialisers.
//
// Lookup compares names ignoring ASCII case only (no locale, no trimming). Names are compared in
// registration order and the first equal one wins, so a later registration never shadows an
// earlier one.
//
// Threading: filled once on the window thread, then only read there.
class ActionRegistry {
 public:
  // A handler answers, when it does, through context.Responder(). It may throw: the dispatcher
  // catches everything at its edge and drops the message.
  using Handler = std::function<void(ActionContext& context, const nlohmann::json& message)>;

  // What the host knows of an action besides its handler.
  enum class Reach {
    kInProcess,  // works on the host's own state, the log or the window
    kOutside,    // reaches outside the process: the network, files the page names, programs
  };

  struct Action {
    std::string name;
    Reach reach;
    Handler run;
  };

  void Add(std::string name, Reach reach, Handler run);

  // The first action whose name equals `name` ignoring ASCII case, or null.
  const Action* Find(std::string_view name) const;

  const std::vector<Action>& actions() const { return actions_; }

 private:
  std::vector<Action> actions_;
};
