#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace quernfold {

/**
 * Visits root and every folder below it, depth first: listFolder(folder) handles one folder and returns its
 * sub-folders in the order they are to be visited, each with its whole tree before the next. Without recursion,
 * so a deep tree cannot exhaust the stack.
 */
template <class Folder, class ListFolder>
void VisitDepthFirst(Folder root, ListFolder&& listFolder) {
    std::vector<std::vector<Folder>> pending;
    pending.push_back({std::move(root)});
    std::vector<std::size_t> next{0};
    while (!pending.empty()) {
        if (next.back() == pending.back().size()) {
            pending.pop_back();
            next.pop_back();
            continue;
        }
        const Folder current = pending.back()[next.back()++];
        std::vector<Folder> subFolders = listFolder(current);
        if (!subFolders.empty()) {
            pending.push_back(std::move(subFolders));
            next.push_back(0);
        }
    }
}

}  // namespace quernfold
