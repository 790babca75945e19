#include "app/form1.h"

namespace velmoran {

void Form1::Picture1_MouseDown(int, int, float, float) {}
void Form1::Picture1_MouseMove(int, int, float, float) {}

} // namespace velmoran
