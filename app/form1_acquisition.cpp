#include "app/form1.h"

namespace velmoran {

void Form1::Command2_Click() {}
void Form1::MSComm1_OnComm() {}
void Form1::MSComm1_PortLost(const QString&) {}
void Form1::Timer1_Timer() {}

} // namespace velmoran
