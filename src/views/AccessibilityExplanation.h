// The one-time explanation shown before the quick-paste picker types into another application.
#pragma once

namespace AccessibilityExplanation {

// Shows the explanation as a message box in front of every window; true when the user chose
// "Continue".
bool ask();

} // namespace AccessibilityExplanation
