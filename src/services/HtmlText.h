// Summaries arrive as HTML fragments; the News tab shows them as one line of plain text.
#pragma once

#include <QString>

class HtmlText {
public:
    // An HTML fragment as one line of plain text: tags dropped, block ends leave a word gap, entities
    // decoded, runs of spaces collapsed.
    static QString plainLine(const QString& html);
    // Whether `text` holds a tag ("<b>", "</em>", "<br/>") or an entity ("&amp;", "&#8217;"): text
    // that reads as markup rather than as the characters it is made of.
    static bool hasMarkup(QStringView text);
};
