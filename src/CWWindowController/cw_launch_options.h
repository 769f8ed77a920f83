// Command line of the zarvo program.
#pragma once

#include <string>
#include <vector>

struct CW_LAUNCH_OPTIONS {
    bool connect = false;           // press Connect at start
    std::string host;               // with port: this run's server, not stored
    long long port = 0;             // 0: the stored host and port
    double quitAfterSeconds = 0.0;  // 0: run until the window closes
    std::string screenshotPath;     // saved just before --quit-after ends the run
    bool printLog = false;          // every log pane line also to standard output
    std::string infoText;           // --help or --version: print it and stop
};

// "host:port" or "[v6-address]:port" with a port of 1..65535.
bool cw_parse_host_port(const std::string& text, std::string* host, long long* port);

// Fills *options from the arguments after the program name; on failure
// returns false with a one-line reason and leaves *options as it was.
bool cw_parse_launch_options(const std::vector<std::string>& args, CW_LAUNCH_OPTIONS* options, std::string* error);
