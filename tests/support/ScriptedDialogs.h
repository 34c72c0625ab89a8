#pragma once
// Dialogs answered from a script: each question takes the next prepared answer, every
// dialog is recorded, and a hook lets a test act while a message box is "open".

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "ui/Dialogs.h"

namespace quorvel::testing {

struct ShownMessage {
  QString caption;
  QString text;
  MessageIcon icon;
};

struct AskedLine {
  QString title;
  QString prompt;
  int maxLength;
};

class ScriptedDialogs : public Dialogs {
 public:
  std::vector<ShownMessage> messages;
  std::function<void(const ShownMessage&)> onMessage;

  std::deque<bool> yesNoAnswers;
  std::vector<ShownMessage> questions;

  std::deque<std::optional<QString>> lineAnswers;
  std::vector<AskedLine> linesAsked;

  std::deque<std::optional<QString>> savePaths;
  std::vector<QString> saveSuffixes;

  std::deque<std::optional<QString>> directories;
  std::vector<QString> directoryStarts;

  void showMessage(const QString& caption, const QString& text, MessageIcon icon) override {
    messages.push_back({caption, text, icon});
    if (onMessage) onMessage(messages.back());
  }

  bool askYesNo(const QString& caption, const QString& text) override {
    questions.push_back({caption, text, MessageIcon::Information});
    if (yesNoAnswers.empty()) {
      ADD_FAILURE() << "unexpected question box";
      return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }

  std::optional<QString> askLine(const QString& title, const QString& prompt,
                                 int maxLength) override {
    linesAsked.push_back({title, prompt, maxLength});
    return next(lineAnswers, "input box");
  }

  std::optional<QString> askSavePath(const QString& defaultSuffix) override {
    saveSuffixes.push_back(defaultSuffix);
    return next(savePaths, "save dialog");
  }

  std::optional<QString> chooseDirectory(const QString& start) override {
    directoryStarts.push_back(start);
    return next(directories, "directory chooser");
  }

 private:
  static std::optional<QString> next(std::deque<std::optional<QString>>& answers,
                                     const char* what) {
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected " << what;
      return std::nullopt;
    }
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace quorvel::testing
