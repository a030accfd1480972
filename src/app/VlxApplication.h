// The application object: its default error display shows any exception that leaves an event handler.
#pragma once

#include <functional>
#include <type_traits>

#include <QApplication>

class TDialogs;

class TVeltrixApp : public QApplication {
public:
    TVeltrixApp(int& argc, char** argv);

    // An exception leaving an event handler ends here: its text is shown and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    // Where errors are shown: the main window's dialogs while it exists, none (stderr) otherwise.
    static void SetErrorDialogs(TDialogs* dialogs);
    static TDialogs* ErrorDialogs();

    // Shows the current exception's text (call from a catch block).
    static void ShowCurrentException();

private:
    static TDialogs* FErrorDialogs;
};

// Runs a handler and shows what it throws, so no exception crosses Qt's signal code (which cannot unwind).
void RunGuarded(const std::function<void()>& handler);

// A slot that runs a handler guarded: connect(x, &X::signal, Guarded([this] { Handler(); })).
// Signal arguments the handler does not take are dropped.
template <typename F> auto Guarded(F handler) {
    return [handler](auto&&... args) {
        RunGuarded([&] {
            if constexpr (std::is_invocable_v<F, decltype(args)...>)
                handler(args...);
            else
                handler();
        });
    };
}
