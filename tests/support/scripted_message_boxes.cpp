#include "support/scripted_message_boxes.h"

namespace pixolune::testing {

ScriptedMessageBoxes::ScriptedMessageBoxes() : previous_(setMessageBoxes(this)) {}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { setMessageBoxes(previous_); }

MessageAnswer ScriptedMessageBoxes::show(const std::string& title, const std::string& text,
                                         MessageButtons buttons, MessageIcon icon) {
  shown_.push_back({title, text, buttons, icon});
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  if (answers_.empty()) return MessageAnswer::kNo;
  MessageAnswer next = answers_.front();
  answers_.pop_front();
  return next;
}

}  // namespace pixolune::testing
