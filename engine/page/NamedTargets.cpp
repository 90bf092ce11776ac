// The fragments a page names without expanding them: past the nesting limit or the budget, or in a file whose
// expansion failed part-way. The set comes from the directives parsed, so none of them is ever published.
#include "engine/page/PageExpander.h"

#include "engine/page/DirectiveScan.h"
#include "engine/page/IncludeDirective.h"
#include "engine/platform/Transcode.h"

namespace quernfold {

void PageExpander::NoteNamedTarget(const std::string& resolved, const std::string& cleaned,
                                   const std::optional<std::string>& utf8, const std::string& pageDir) {
    if (!m_settings.noteNamedTargets || !IsInsideRoot(resolved, m_state.siteRoot, m_settings.separator)) return;
    if (std::optional<std::string> found = Resolve(resolved, cleaned, utf8, pageDir)) {
        m_namedTargets.insert(std::move(*found));
    }
}

void PageExpander::NoteDirectiveTargets(const std::string& pagePath) {
    if (!m_settings.noteNamedTargets) return;
    const std::string pageDir = ParentDir(pagePath, m_settings.separator);
    ScanBlocks(m_files, pagePath, m_settings.codePage, m_aspPages, [&](std::string_view block, CodePage cp) {
        std::string scratch;
        const std::optional<std::string_view> target = IncludeTarget(cp, block, scratch);
        if (!target || target->empty()) return;
        const std::string cleaned = CleanIncludeTarget(cp, *target, m_settings.separator);
        if (cleaned.empty()) return;
        const std::optional<std::string> utf8 = ToUtf8(cp, cleaned);
        const std::string resolved =
            ResolveIncludePath(utf8.value_or(cleaned), pageDir, m_state.siteRoot, m_settings.separator);
        NoteNamedTarget(resolved, cleaned, utf8, pageDir);
    });
}

}  // namespace quernfold
