#include <iostream>
#include <string>

#include "cli/camera_session.h"

namespace fotolyx::cli {

// Finds the camera, sets the link up and tells what it found, then resets the link.
int RunInfo(Context& context, const Arguments& arguments) {
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("info", arguments, map, rest)) {
        return 2;
    }
    if (!rest.empty()) {
        std::cerr << "fotolyx-cli info: bad argument '" << rest.front()
                  << "' (expected --port COMn=PATH)\n";
        return 2;
    }
    CameraSession session(context, map);
    if (!session.Connect()) {
        return session.FailureStatus();
    }
    const LinkState& link = session.program().link;
    std::cout << "Port: " << PortName(link.SelectedPort) << " ("
              << session.line.DeviceName(link.SelectedPort) << ")\n"
              << "Model: " << std::string(link.IdentifiedModelCode.data(), 3) << '\n'
              << "Speed: " << link.CurrentBaudRate << '\n'
              << "Mode: camera\n"
              << "Tried:\n";
    ReportPorts(session.line, std::cout, link.SelectedPort);
    return 0;
}

}  // namespace fotolyx::cli
