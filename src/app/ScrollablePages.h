#pragma once

class QTabWidget;
class QWidget;

// Lets the window fit screens smaller than its pages need (a 1366 x 768
// laptop with its panel, say): each page's contents move into a scroll area
// that asks for all the room the contents need and scrolls only when it gets
// less. On a screen large enough nothing changes.
namespace ScrollablePages {

// The page widgets themselves stay the pages; only what is inside them moves.
void apply(QTabWidget *pages);

// Gives the window the size its contents need, at least its present size,
// within the available area of its screen.
void fitToScreen(QWidget *window);

} // namespace ScrollablePages
