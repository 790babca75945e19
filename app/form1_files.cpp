#include "app/form1.h"

namespace velmoran {

void Form1::Command1_Click() {}
void Form1::Command3_Click() {}

} // namespace velmoran
