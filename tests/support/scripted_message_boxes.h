// A message-box implementation for tests: records every box and answers from
// a queue. Installs itself for its lifetime.
#ifndef PIXOLUNE_TESTS_SUPPORT_SCRIPTED_MESSAGE_BOXES_H_
#define PIXOLUNE_TESTS_SUPPORT_SCRIPTED_MESSAGE_BOXES_H_

#include <deque>
#include <string>
#include <vector>

#include "resources/message_box.h"

namespace pixolune::testing {

class ScriptedMessageBoxes : public MessageBoxes {
 public:
  struct Shown {
    std::string title;
    std::string text;
    MessageButtons buttons;
    MessageIcon icon;
  };

  /// Installs this object as the process-wide implementation.
  ScriptedMessageBoxes();
  /// Restores the implementation that was installed before.
  ~ScriptedMessageBoxes() override;
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  /// Queues the answer for the next Yes/No box. With the queue empty a Yes/No
  /// box answers No; an OK box always answers OK and takes nothing from it.
  void answer(MessageAnswer next) { answers_.push_back(next); }

  MessageAnswer show(const std::string& title, const std::string& text, MessageButtons buttons,
                     MessageIcon icon) override;

  const std::vector<Shown>& shown() const { return shown_; }
  /// Answers queued but never taken.
  size_t pendingAnswers() const { return answers_.size(); }

 private:
  MessageBoxes* previous_;
  std::deque<MessageAnswer> answers_;
  std::vector<Shown> shown_;
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_SCRIPTED_MESSAGE_BOXES_H_
