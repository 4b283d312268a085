#pragma once

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QString>

namespace velmora {

// A text drawn on every page of a PDF, and the box (device units) it was drawn in.
struct DrawnLabel {
    QRectF box;
    QString text;
};

// A PDF written by Qt tells a reader which text each glyph stands for by the
// first character its font maps to that glyph. A Persian letter drawn joined to
// its neighbours is a glyph the font reaches only through the letter's
// presentation form (U+FB50..U+FEFF), and letters that look alike share a glyph
// (Arabic and Persian yeh, Arabic kaf and keheh), so copying or searching the
// page found other characters than were drawn.
//
// Rewrites those text maps of pdf so that every glyph stands for the letter
// itself: presentation forms become their letters, and of look-alike letters
// the one the page's text (drawnText) uses is taken. A ligature of two letters
// (lam-alef) keeps its one character, which compatibility normalisation
// (as readers search) turns into the two letters. The page looks the same. Returns false, leaving
// pdf as it was, when the file is not laid out as Qt writes it.
//
// Within one font, a glyph maps to one text only: a page that draws "مریم"
// (Persian yeh) in one place and "ميزان" (Arabic yeh) in another with the same
// glyph would read one of them wrong. Each text of labels (its box on the
// page, in the device units it was drawn in) therefore reads as its own
// letters: where the page's choice would misname one of its letters, the
// label is drawn with a copy of its font whose map follows the label's text.
bool restoreLogicalText(QByteArray* pdf, const QString& drawnText,
                        const QList<DrawnLabel>& labels = {});

} // namespace velmora
