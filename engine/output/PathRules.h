#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/text/AsciiText.h"

namespace quernfold {

/** The separator of this platform's paths; the path rules take it as a parameter so they work for both. */
#ifdef _WIN32
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

/**
 * Whether a trimmed source or output type can be used: it becomes part of a file name, so it may hold no "/",
 * "\\", NUL or other control character, and may not be "." or ".." (which would name a folder once joined to a
 * base name).
 */
bool IsUsableType(std::string_view typeTrimmed);

/** Appends one separator unless the text already ends in one; an empty text becomes the separator alone. */
std::string WithTrailingSeparator(std::string_view folder, char sep);

/** Splits at sep, keeping empty pieces: n separators give n + 1 pieces, an empty text gives none. */
std::vector<std::string_view> SplitKeepEmpty(std::string_view text, char sep);

/** The text before the last separator ("" when there is none); leading separators of a root are kept. */
std::string ParentDir(std::string_view path, char sep);

/** Resolves an include target against the page's folder, or against siteRoot when it starts with sep. */
std::string ResolveIncludePath(std::string_view target, std::string_view pageDir, std::string_view siteRoot,
                               char sep);

/** Where a source page goes: the output folders to make (top down) and the output file's path. */
struct OutputPathPlan {
    std::vector<std::string> folders;
    std::string outputPath;
};

/**
 * The pure part of the output mapping: same folders below the site root, placed below outputRoot, the base name
 * of the file and the output extension. outputType is the trimmed output type. Both roots end in sep.
 * folders holds outputRoot + relative folder for each segment below the site root, top down, for the caller to
 * create when missing; outputRoot itself is never among them (it is never created by the mapping).
 */
OutputPathPlan PlanOutputPath(std::string_view sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                              std::string_view outputType, char sep);

/**
 * True when path lies inside root, decided by segments: both are split at sep, empty and "." segments dropped,
 * and the root's segments must begin the path's. A ".." segment takes back the segment before it (a resolved
 * path can still end in one, e.g. "inc\.."); a ".." with nothing left to take back makes the answer false.
 * The path must hold at least one segment more than the root: the root folder itself is not inside it, since
 * what is checked is a file to read. A root with no segments ("/" or "") holds every path that has one.
 */
bool IsInsideRoot(std::string_view path, std::string_view root, char sep);

/** The extension a page type names: "." followed by the type ("jsp" gives ".jsp"). */
std::string TypeExtension(std::string_view type);

/**
 * Undoes the extension rewrite in a file name: every "." + outputType becomes "." + sourceType, left to right
 * without overlap. Both types are given trimmed. Returns the name unchanged when nothing matches.
 */
std::string UndoExtensionRewrite(std::string_view fileName, std::string_view sourceType,
                                 std::string_view outputType);

}  // namespace quernfold
