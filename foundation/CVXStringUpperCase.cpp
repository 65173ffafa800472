// Upper-case conversion of CVXString text (stub until the generated tables land).
#include "foundation/CVXString.h"

void toUpperCase(CVXString& text) {
    (void)text;
}
