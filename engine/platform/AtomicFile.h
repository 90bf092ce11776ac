#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/page/OutputSink.h"

namespace quernfold {

/** How one kind of file is written: pages, the log file and config.ini each want a little more or less. */
struct WritePolicy {
    // Replace: a link at the target is replaced by the new file, never written through (pages, log.txt).
    // Follow: the file the link names is replaced and the link stays a link (config.ini).
    enum class LinkAtTarget { Replace, Follow };
    LinkAtTarget link = LinkAtTarget::Replace;
    bool keepMode = false;             // the new file takes the mode of the one it replaces
    bool sync = false;                 // the bytes and the folder entry reach the disk before Publish returns
    bool inPlaceIfNotRegular = false;  // a device, pipe or terminal at the target is written as it stands
    // /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are written through that open descriptor, from where
    // it stands: never reopened at offset 0, never replaced, whatever it leads to.
    bool throughOpenDescriptor = false;
    bool leaveUnwritableTarget = false;  // a target the user may not write, or with no write bit, is left untouched
    bool inPlaceIfFolderReadOnly = false;  // a writable file in a folder we cannot add names to is rewritten
    bool unnamed = true;  // false: always a named temporary file, as where the file system has no unnamed ones
    std::uint64_t sizeLimit = UINT64_MAX;

    static WritePolicy Page(std::uint64_t sizeLimit) {
        WritePolicy policy;
        policy.sizeLimit = sizeLimit;
        return policy;
    }
    static WritePolicy LogFile();
    static WritePolicy Settings();
};

/** The open descriptor a path such as /dev/stdout or /proc/self/fd/3 names; -1 for any other path. */
int StandardDescriptorOf(const std::string& path);

/**
 * Opens a file at path that is published whole or not at all (the log file, the report): bytes go to a temporary
 * file beside the target, and Publish puts it in place. Throws OutputError.
 */
std::unique_ptr<PageOutput> CreateAtomicFile(const std::string& path, const WritePolicy& policy);

/** Writes a whole file safely (log.txt, config.ini) under policy. Throws OutputError. */
void WriteFileAtomically(const std::string& path, std::string_view bytes, const WritePolicy& policy = {});

}  // namespace quernfold
