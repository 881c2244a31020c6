#pragma once

class QWidget;

namespace TabOrder {

// Puts the controls inside `root` into the tab order in which its layouts
// place them, row by row and column by column as the layouts nest. Controls
// made later (a choice's new items once a language is applied) would
// otherwise come after every control made before them.
void followLayout(QWidget *root);

} // namespace TabOrder
