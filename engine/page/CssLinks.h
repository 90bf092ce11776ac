#pragma once

#include <string_view>
#include <vector>

#include "engine/page/LinkScanningOutput.h"
#include "engine/text/CodePage.h"

namespace quernfold {

/**
 * Notes the local references of a style sheet (a copied .css file) into links, one per path: every url() and the
 * quoted file of an @import, outside comments. Paths are relative to the sheet's own folder, as a browser reads
 * them.
 */
void CollectCssLinks(CodePage cp, std::string_view css, std::vector<PageLink>& links);

}  // namespace quernfold
