// A large table split over several table pages for visitors: which rows each page holds and its file name.
#pragma once

#include <functional>
#include <vector>

#include <QString>

#include "html/GfxHtml.h"

// One page of the table: its file name in the gallery and the rows of the table it holds.
struct TTablePage {
    QString Name;
    int FirstRow = 0;
    int Rows = 0;

    bool operator==(const TTablePage&) const = default;
};

// The name of the table's page number (from 1) before clashes: "index.html", then "index2.html",
// "index3.html", ...
QString TablePageName(int number);

// The pages of a table of `rows` rows whose last picture is in row lastFilledRow (-1: none), at most pageRows
// rows on each (0: no limit). A table that fits on one page is one page, "index.html", holding every row,
// exactly as an unsplit table. A longer one is cut into pages of pageRows rows, the last holding what is
// left; rows after the last picture are left out, so that visitors get no pages of empty cells. A page whose
// name a picture publishes (taken, letter case ignored by the caller) takes the first free name after it
// (DistinctName): "index2-2.html".
std::vector<TTablePage> SplitTable(int rows, int lastFilledRow, int pageRows,
                                   const std::function<bool(const QString&)>& taken);

// The index into pages of the page that holds row.
int TablePageOfRow(const std::vector<TTablePage>& pages, int row);

// Where page index i of pages stands among them, for its links.
TTablePageLinks TablePageLinks(const std::vector<TTablePage>& pages, int i);
