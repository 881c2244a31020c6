#pragma once

class QRadioButton;

namespace RadioButtons {

// Checks or unchecks one radio button. Checking unchecks its partners in the
// same frame; unchecking leaves the frame with no button checked, which Qt's
// exclusive buttons refuse on their own.
void setChecked(QRadioButton *button, bool checked);

} // namespace RadioButtons
