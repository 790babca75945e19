#include "app/form1.h"

namespace velmoran {

void Form1::Timer2_Timer() {}
void Form1::Label10_Click() {}

} // namespace velmoran
