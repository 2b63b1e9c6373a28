// The error box every event handler runs under.
//
// An error that escapes a handler is shown as a box: the error's message, with "."
// appended when its last character sorts after ".", caption the application title, stop
// icon, OK. The rest of that handler is skipped and the program goes on: no exception
// ever crosses into Qt's event dispatch.
#pragma once

#include <exception>
#include <functional>

#include "runtime/SysUtils.h"

class QWidget;

// The text the error box shows for a message.
AnsiString ErrorBoxText(const AnsiString& message);
// Shows the error box for the exception currently being handled (call from a catch block).
void ShowCurrentException();
// Runs the handler; an escaping error is shown in the error box. Returns false when it raised.
bool RunGuarded(const std::function<void()>& handler);

// Binds a Qt signal to a handler that runs under the error box.
template <typename Sender, typename Signal>
void BindHandler(Sender* sender, Signal signal, std::function<void()> handler);

#include <QObject>

template <typename Sender, typename Signal>
void BindHandler(Sender* sender, Signal signal, std::function<void()> handler) {
  QObject::connect(sender, signal, sender, [handler = std::move(handler)] { RunGuarded(handler); });
}
