#pragma once

// Captions and messages for the operator in the chosen language. German is the
// source language: every text is written in German, as UTF-8, at the place that
// shows it; `lupdate` collects the calls below (see ui/CMakeLists.txt) and the Qt
// layer serves the translations through the hook. Texts sent on the air never go
// through here.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvo::core {

// Takes a context and a German UTF-8 source text, returns the translation in
// UTF-8, or the source itself when there is none.
using TTranslateHook = std::function<std::string(const char* context, const char* source)>;

// Set once at start, before any worker thread runs; the hook itself must be
// callable from any thread.
void SetTranslateHook(TTranslateHook hook);

// The text in the logic layer's encoding (code page 1252), translated when a
// hook is set.
std::string Tr(const char* context, const char* source);

// A translated text with "%1" ... "%9" replaced by args, in one pass: what an
// argument brings (a callsign or text from the air) is never expanded again. A
// translation may put the places in another order. "%%" gives "%".
std::string FillArgs(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace tarvo::core

// Marks a text in a table for `lupdate`; translate it later with Tr(context, text).
#define TARVO_TR_NOOP(context, text) text
