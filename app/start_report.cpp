#include "app/start_report.h"

#include <iostream>

namespace plumfold {

void writeStartReport(const PressureBody& body, int windowWidth, int windowHeight) {
    std::cout << "Window Width: " << windowWidth << std::endl;
    std::cout << "Window Height: " << windowHeight << std::endl;
    std::cout << std::endl;
    std::cout << "Loaded: " << body.faces.size() << " faces..." << std::endl;
    std::cout << "Loaded: " << body.points.size() << " points..." << std::endl;
    std::cout << "Created: " << body.springs.size() << " spring connections..." << std::endl;
}

}  // namespace plumfold
