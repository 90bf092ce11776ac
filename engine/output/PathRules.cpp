#include "engine/output/PathRules.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace quernfold {

namespace {

/**
 * The segments that name a place: empty and "." segments say nothing, and ".." takes back the segment before it.
 * nullopt when a ".." has nothing left to take back, since such a path climbs above anything we could compare.
 */
std::optional<std::vector<std::string_view>> NamedSegments(std::string_view path, char sep) {
    // A relative site root may lie above the working folder ("../site/"): its leading ".." segments are kept and
    // compared like names. Nothing lies above an absolute path's root.
    const bool absolute = !path.empty() && path.front() == sep;
    std::vector<std::string_view> named;
    for (const std::string_view segment : SplitKeepEmpty(path, sep)) {
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            if (!named.empty() && named.back() != "..") {
                named.pop_back();
            } else if (absolute) {
                return std::nullopt;
            } else {
                named.push_back(segment);
            }
            continue;
        }
        named.push_back(segment);
    }
    return named;
}

}  // namespace

bool IsUsableType(std::string_view typeTrimmed) {
    // A control character would reach every output name and every log line that shows one.
    for (std::size_t i = 0; i < typeTrimmed.size(); ++i) {
        const auto byte = static_cast<unsigned char>(typeTrimmed[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        const bool c1 = byte == 0xC2 && i + 1 < typeTrimmed.size() &&
                        static_cast<unsigned char>(typeTrimmed[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(typeTrimmed[i + 1]) <= 0x9F;
        if (c1) return false;
    }
    return typeTrimmed.find_first_of("/\\") == std::string_view::npos && typeTrimmed != "." && typeTrimmed != "..";
}

std::string WithTrailingSeparator(std::string_view folder, char sep) {
    std::string result(folder);
    if (result.empty() || result.back() != sep) {
        result.push_back(sep);
    }
    return result;
}

std::vector<std::string_view> SplitKeepEmpty(std::string_view text, char sep) {
    std::vector<std::string_view> pieces;
    if (text.empty()) {
        return pieces;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(sep, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::string ParentDir(std::string_view path, char sep) {
    const std::size_t at = path.rfind(sep);
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at));
}

std::string ResolveIncludePath(std::string_view target, std::string_view pageDir, std::string_view siteRoot, char sep) {
    const std::vector<std::string_view> pieces = SplitKeepEmpty(target, sep);
    if (pieces.size() < 2) {
        // A bare name is taken as it stands, even "." or "..": only a target with folders gets interpreted.
        std::string result(pageDir);
        result.push_back(sep);
        result.append(target);
        return result;
    }

    std::string base(target.front() == sep ? siteRoot : pageDir);
    if (!base.empty() && base.back() == sep) {
        base.pop_back();
    }
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        const std::string_view segment = pieces[i];
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            // Same as ParentDir, done in place so a long run of ".." does not copy the base each time.
            const std::size_t at = base.rfind(sep);
            base.resize(at == std::string::npos ? 0 : at);
            continue;
        }
        base.push_back(sep);
        base.append(segment);
    }
    base.push_back(sep);
    base.append(pieces.back());
    return base;
}

OutputPathPlan PlanOutputPath(std::string_view sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                              std::string_view outputType, char sep) {
    OutputPathPlan plan;
    const std::vector<std::string_view> pieces = SplitKeepEmpty(sourcePath, sep);
    const std::string_view fileName = pieces.empty() ? std::string_view() : pieces.back();

    std::string prefix;
    std::string relative;
    bool belowRoot = false;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        const std::string_view segment = pieces[i];
        if (belowRoot) {
            if (!relative.empty()) {
                relative.push_back(sep);
            }
            relative.append(segment);
            // While only empty segments have been seen the folder is the output root, which is never made here.
            if (!relative.empty()) {
                plan.folders.push_back(std::string(outputRoot) + relative);
            }
            continue;
        }
        // Joining every segment, leading empty ones included, keeps the root of an absolute path in the prefix,
        // so "/w/" matches at "w" and "/" at the first, empty segment.
        if (i > 0) {
            prefix.push_back(sep);
        }
        prefix.append(segment);
        belowRoot = prefix.size() + 1 == siteRoot.size() && siteRoot.back() == sep && siteRoot.starts_with(prefix);
    }

    const std::size_t lastDot = fileName.rfind('.');
    const std::string_view baseName =
        lastDot == std::string_view::npos ? std::string_view() : fileName.substr(0, lastDot);

    plan.outputPath.assign(outputRoot);
    if (!relative.empty()) {
        plan.outputPath.append(relative);
        plan.outputPath.push_back(sep);
    }
    plan.outputPath.append(baseName);
    plan.outputPath.push_back('.');
    plan.outputPath.append(outputType);
    return plan;
}

bool IsInsideRoot(std::string_view path, std::string_view root, char sep) {
    const auto pathSegments = NamedSegments(path, sep);
    const auto rootSegments = NamedSegments(root, sep);
    if (!pathSegments || !rootSegments || pathSegments->size() <= rootSegments->size()) {
        return false;
    }
    // A path that climbs further above the working folder than the root does is never inside it.
    return std::equal(rootSegments->begin(), rootSegments->end(), pathSegments->begin()) &&
           (*pathSegments)[rootSegments->size()] != "..";
}

std::string TypeExtension(std::string_view type) {
    // Appended rather than "." + std::string(type): GCC 12 at -O3 misreads that concatenation as an overlapping
    // copy (-Wrestrict).
    std::string extension;
    extension.reserve(type.size() + 1);
    extension.push_back('.');
    extension.append(type);
    return extension;
}

std::string UndoExtensionRewrite(std::string_view fileName, std::string_view sourceType, std::string_view outputType) {
    // An empty output type would make every dot a match and grow the name at each one.
    if (outputType.empty()) {
        return std::string(fileName);
    }
    const std::string rewritten = TypeExtension(outputType);
    const std::string original = TypeExtension(sourceType);

    std::string result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = fileName.find(rewritten, from);
        if (at == std::string_view::npos) {
            result.append(fileName.substr(from));
            return result;
        }
        result.append(fileName.substr(from, at - from));
        result.append(original);
        from = at + rewritten.size();
    }
}

}  // namespace quernfold
