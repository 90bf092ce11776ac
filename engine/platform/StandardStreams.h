#pragma once

namespace quernfold {

/**
 * Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so that no file the program opens later
 * (a page's output, the log file) can become standard output or error and receive what is written there.
 * Called first thing by both programs.
 */
void OpenClosedStandardStreams() noexcept;

}  // namespace quernfold
