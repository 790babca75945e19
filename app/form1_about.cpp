#include "app/form1.h"

#include "about/form2.h"
#include "app/vb_label.h"
#include "core/texts.h"

namespace velmoran {

// Every 2 s: flips the blink phase and shows "关于本程序" in the True phase, "Click Me!!" in the
// other. The label starts with "关于本程序", so the first "Click Me!!" shows at 4 s.
void Form1::Timer2_Timer() {
    AboutBlink = static_cast<int16_t>(~AboutBlink);
    Label10->setCaption(QString::fromUtf8(AboutBlink == -1 ? texts::kAbout : texts::kClickMe));
}

// Opens the About window beside this one without blocking it; if it is open already, it is only
// brought to the front.
void Form1::Label10_Click() {
    // A closed About window is destroyed (possibly still pending deletion): load a new one.
    if (!form2_ || !form2_->isVisible()) {
        form2_ = new Form2();
        form2_->setWindowIcon(windowIcon());
    }
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
}

} // namespace velmoran
