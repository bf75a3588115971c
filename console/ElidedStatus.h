#pragma once

class QLabel;
class QString;

// Shows `text` on a one-line status label of a fixed-size window: elided to
// the label's width (again whenever that width changes), the whole text in
// its tooltip and accessible description. Once the label is given another
// text, the tooltip and description go with the text they belonged to.
void show_elided_status(QLabel* label, const QString& text);
