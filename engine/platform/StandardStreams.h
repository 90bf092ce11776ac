#pragma once

#include <string>
#include <vector>

namespace quernfold {

/**
 * Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so that no file the program opens later
 * (a page's output, the log file) can become standard output or error and receive what is written there.
 * Called first thing by both programs.
 */
void OpenClosedStandardStreams() noexcept;

enum class StandardStream { Input, Output, Error };

/** Whether OpenClosedStandardStreams found stream closed (and put /dev/null there): what goes there is lost. */
bool WasClosedAtStart(StandardStream stream) noexcept;

/**
 * Whether the reader of stream went away (a pipe or socket whose other end is closed: `| head`), however the
 * write that found it out was made (a flush of stdout before a write to stderr included).
 */
bool ReaderIsGone(StandardStream stream) noexcept;

/** Whether stream is a terminal (the progress bar is drawn on one only). */
bool IsTerminal(StandardStream stream) noexcept;

/** The width of the terminal on stream: its window size, else $COLUMNS, else 80. */
int TerminalColumns(StandardStream stream) noexcept;

/**
 * A reader that goes away (| head) and a file-size limit must show as failed writes of the log or a page, not
 * end the program: the run goes on and says what failed.
 */
void KeepRunningOnFailedWrites() noexcept;

/** The program's arguments after its name, in UTF-8 (on Windows read from the system as UTF-16). */
std::vector<std::string> ProgramArguments(int argc, char** argv);

/**
 * Makes std::cout and std::cerr take the program's UTF-8 text as it is: on a Windows console it is shown
 * through WriteConsoleW whatever the console's code page; redirected, the bytes go out unchanged (no CR added to
 * a line break), as on Linux, where nothing needs doing.
 */
void UseUtf8StandardStreams();

}  // namespace quernfold
