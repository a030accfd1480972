// Splitting the table over pages: the rows of each page, their names and links between them.
#include "publish/TablePages.h"

#include <algorithm>
#include <cassert>

#include "gallery/GalleryNames.h"
#include "html/WebFiles.h"

QString TablePageName(int number) {
    return number <= 1 ? kIndexPage : QStringLiteral("index%1.html").arg(number);
}

std::vector<TTablePage> SplitTable(int rows, int lastFilledRow, int pageRows,
                                   const std::function<bool(const QString&)>& taken) {
    if (pageRows <= 0 || rows <= pageRows)
        return {{kIndexPage, 0, rows}};
    const int used = std::clamp(lastFilledRow + 1, 1, rows);
    std::vector<TTablePage> pages;
    for (int first = 0; first < used; first += pageRows) {
        const int number = static_cast<int>(pages.size()) + 1;
        QString name = kIndexPage;
        if (number > 1) {
            // Nor may two pages share a name: "index2-2.html" taken by a picture must not be given twice.
            const auto clashes = [&](const QString& candidate) {
                return taken(candidate) ||
                       std::any_of(pages.begin(), pages.end(), [&](const TTablePage& page) {
                           return page.Name.compare(candidate, Qt::CaseInsensitive) == 0;
                       });
            };
            name = DistinctName(TablePageName(number), clashes);
        }
        pages.push_back({name, first, std::min(pageRows, used - first)});
    }
    return pages;
}

int TablePageOfRow(const std::vector<TTablePage>& pages, int row) {
    assert(!pages.empty());
    // Every page but the last holds as many rows as the first.
    const int last = static_cast<int>(pages.size()) - 1;
    return pages.front().Rows > 0 ? std::clamp(row / pages.front().Rows, 0, last) : 0;
}

TTablePageLinks TablePageLinks(const std::vector<TTablePage>& pages, int i) {
    assert(i >= 0 && i < static_cast<int>(pages.size()));
    const int count = static_cast<int>(pages.size());
    TTablePageLinks links;
    links.Number = i + 1;
    links.Count = count;
    if (i > 0) {
        links.First = pages.front().Name;
        links.Prev = pages[i - 1].Name;
    }
    if (i + 1 < count) {
        links.Next = pages[i + 1].Name;
        links.Last = pages.back().Name;
    }
    return links;
}
