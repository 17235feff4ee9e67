#include "platform/processes.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace pellucor::platform {

ProcessOutcome run_process(const ProcessRun& run) {
  ProcessOutcome r;
  if (run.command.empty()) {
    r.failure = "no program";
    return r;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, run.input.empty() ? "/dev/null" : run.input.c_str(),
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, run.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, run.error.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!run.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, run.folder.c_str());
  std::vector<std::string> args = run.command;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The environment, with the additions in place of the variables they name.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& add : run.environment)
      replaced = replaced || add.substr(0, add.find('=')) == name;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), run.environment.begin(), run.environment.end());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    r.failure = "cannot start " + run.command[0] + ": " + std::strerror(spawned);
    return r;
  }
  r.started = true;
  int status = 0;
  if (!run.limit) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else {
    const auto deadline = std::chrono::steady_clock::now() + *run.limit;
    for (;;) {
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() > deadline) {
        r.killed = true;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

long current_process_id() {
  return static_cast<long>(::getpid());
}

void on_termination(void (*handler)(int)) {
  std::signal(SIGINT, handler);
  std::signal(SIGTERM, handler);
  std::signal(SIGHUP, handler);
}

}  // namespace pellucor::platform
