#include "app/application.h"
#include "app/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    velmoran::setUpApplication(app);
    velmoran::Form1 form;
    velmoran::installStartupProbe(form);
    form.show();
    return app.exec();
}
