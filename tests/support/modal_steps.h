#pragma once

// Scripted steps against the modal windows a handler opens, as they come: each step is offered
// the active modal window until it takes it (returns true). A step that clicks a button which
// opens another modal window does so from a zero timer, so that polling goes on meanwhile.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

namespace velmoran::test {

class ModalSteps {
public:
    using Step = std::function<bool(QWidget*)>;
    ModalSteps() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal->isVisible() && !steps_.empty() &&
                steps_.front()(modal)) {
                steps_.pop_front();
            }
        });
        timer_.start();
    }
    void then(Step step) { steps_.push_back(std::move(step)); }
    bool done() const { return steps_.empty(); }

private:
    QTimer timer_;
    std::deque<Step> steps_;
};

} // namespace velmoran::test
