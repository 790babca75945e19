#include "about/form2.h"

namespace velmoran {

Form2::Form2(QWidget* parent) : QWidget(parent) {}

} // namespace velmoran
