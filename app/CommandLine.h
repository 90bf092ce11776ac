#pragma once

#include <optional>
#include <string>

#include <QStringList>

namespace quernfold {

/**
 * What the window program answers on its command line before it starts: the text of --help or --version, to be
 * written to stdout, or nullopt to start as usual. It needs no QApplication (so it works without a display, and
 * while another copy runs); anything else on the command line is ignored.
 */
std::optional<std::string> CommandLineAnswer(const QStringList& arguments);

}  // namespace quernfold
