#pragma once

namespace quernfold {

/**
 * Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so that no file the program opens later
 * (a page's output, the log file) can become standard output or error and receive what is written there.
 * Called first thing by both programs.
 */
void OpenClosedStandardStreams() noexcept;

enum class StandardStream { Input, Output, Error };

/** Whether stream is a terminal (the progress bar is drawn on one only). */
bool IsTerminal(StandardStream stream) noexcept;

/** The width of the terminal on stream: its window size, else $COLUMNS, else 80. */
int TerminalColumns(StandardStream stream) noexcept;

/**
 * A reader that goes away (| head) and a file-size limit must show as failed writes of the log or a page, not
 * end the program: the run goes on and says what failed.
 */
void KeepRunningOnFailedWrites() noexcept;

}  // namespace quernfold
