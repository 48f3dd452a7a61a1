// The application: starts the platform's layers, runs the main window until it goes away and
// stops them again. The program reads nothing from its command line.
#pragma once

class CtarnwickApp {
public:
    // The whole run. Always false: there is nothing left to run afterwards.
    bool InitInstance();
};

extern CtarnwickApp theApp;
