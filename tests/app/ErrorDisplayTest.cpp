// The application's default error display: an exception leaving a handler is shown and the program goes on.
#include "AppFixture.h"

#include <QCoreApplication>
#include <QEvent>

#include "app/VlxApplication.h"

namespace {

// Throws from its event handler what the test asks for.
class TThrower : public QObject {
public:
    std::function<void()> Throw;
    int Handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++Handled;
        if (Throw)
            Throw();
        return true;
    }
};

} // namespace

TEST_F(TAppTest, ExceptionsLeavingHandlersAreShownAndTheProgramGoesOn) {
    TThrower thrower;
    thrower.Throw = [] { throw Exception(QString("Cannot read C:\\pics\\a.jpg")); };
    QEvent first(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &first);
    thrower.Throw = [] { throw std::runtime_error("plain failure"); };
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    ProcessEvents();
    EXPECT_EQ(D().Errors, (QStringList{"Cannot read C:\\pics\\a.jpg", "plain failure"}));
    D().Errors.clear();
    thrower.Throw = nullptr;
    QEvent third(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &third);
    EXPECT_EQ(thrower.Handled, 3);
}

TEST_F(TAppTest, GuardedHandlersShowTheirErrorsToo) {
    RunGuarded([] { throw Exception(QString("No source image assigned")); });
    EXPECT_EQ(D().Errors, QStringList{"No source image assigned"});
    D().Errors.clear();
}
