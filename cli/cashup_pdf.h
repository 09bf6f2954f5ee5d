#pragma once

#include <QString>
#include <string>

#include "journal/cashup.h"

namespace palmota::cli {

// Printed cash-up sheets, through Qt GUI's QPdfWriter: A4, drawn without any window (the
// program runs a QGuiApplication on the offscreen platform for them). The texts are those
// of cashup_text.h and the report, in the language of the translator installed.

// One A4 page: the closure's number and station as its title, its period, totals,
// operators, doubtful writes still open and chain head's first characters, then a line to
// sign. The text is made smaller when many doubtful writes would take it past the page.
// False with `error` set when the file cannot be written.
bool writeClosurePdf(const journal::Closure& closure, const QString& file, std::string& error);

// A text for people (the report, the list) as A4 pages under `title`, as many as its lines
// take, each numbered. False with `error` set when the file cannot be written.
bool writeTextPdf(const QString& title, const std::string& text, const QString& file,
                  std::string& error);

}  // namespace palmota::cli
