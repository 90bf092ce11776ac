#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace quernfold {

std::optional<std::string> CommandLineAnswer(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    // parse(), not process(): an unknown option is not an error here, and nothing may end the program but us.
    parser.parse(arguments);
    if (parser.isSet(help)) {
        return std::string(
            "Usage: quernfold [--help] [--version]\n"
            "Opens the Quernfold window, which converts the dynamic pages of a JSP or ASP site into static pages.\n"
            "The window keeps its four choices in config.ini; quernfold-cli does the same work on the command "
            "line.\n"
            "\n"
            "  -h, --help     show this help and exit\n"
            "      --version  show the version and exit\n");
    }
    if (parser.isSet(version)) return std::string("quernfold " QUERNFOLD_VERSION "\n");
    return std::nullopt;
}

}  // namespace quernfold
