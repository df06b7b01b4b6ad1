// qvx-run: runs a command through the process runner and prints how many bytes it
// captured, so that the runner can be timed against other ways of running a program.
//
//   qvx-run /bin/sh -c 'head -c 268435456 /dev/zero & head -c 268435456 /dev/zero >&2; wait'

#include <iostream>

#include "QVExtensions/ProcessRunner.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: qvx-run PROGRAM [ARGUMENT...]\n";
    return 2;
  }
  auto process = std::make_shared<platform::Process>();
  process->setLaunchPath(argv[1]);
  process->setArguments({argv + 2, argv + argc});
  try {
    const QVExtensions::ProcessOutput output = QVExtensions::runProcess(process);
    std::cout << "stdout=" << output.response.size() << '\n';
  } catch (const QVExtensions::ProcessError& error) {
    std::cout << "stdout=" << error.stdOut().size() << " stderr=" << error.stdErr().size() << ' '
              << error.terminationDescription() << '\n';
    return 1;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
