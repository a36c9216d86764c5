#include "support/tour_port.h"

namespace qz::test {

TourFixedServer::TourFixedServer(int port, const std::string& dir) : port_(port), lock_(port) {
    if (!lock_.problem().empty()) {
        port_taken_ = lock_.foreign_holder();
        problem_ = lock_.problem();
        return;
    }
    server_ = UpdServer::start(dir, port);
    if (!server_) problem_ = "the update server did not start on port " + std::to_string(port);
}

TourFixedServer::~TourFixedServer() {
    server_.reset();  // stop serving before the lock lets another test take the port
}

std::string TourFixedServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace qz::test
