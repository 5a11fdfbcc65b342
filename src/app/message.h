#pragma once
// Messages that the program shows its user (a message box in a windowed front end). The front
// end decides where they go; by default each is one line of standard error, the text as it stands.
// Tests install their own handler to see them.
#include <functional>
#include <string>

namespace plover {

void ShowMessage(const std::string& text);
// A null handler restores the default.
void SetMessageHandler(std::function<void(const std::string&)> handler);

}  // namespace plover
