#pragma once

#include <memory>
#include <string>

#include "vuzizeri/server/job_store.h"

// The queue in PostgreSQL, shared by any number of replicas: each claims a
// job with a lease it renews while recording, and a job whose lease ran out
// (its replica died) is claimed again, up to `attempts` times in all.
namespace server {

struct Replica {
  std::string name;  // shown as the job's "replica"
  int attempts = 2;  // recordings a job may begin before it ends falhou
  int leaseSeconds = 30;
};

// The queue at `url`, its schema made or brought up to date; nothing, with
// the reason naming the database (never its password), when it cannot be.
std::unique_ptr<JobStore> openPostgres(const std::string& url, const Replica& replica,
                                       std::string* why);

// The database `url` names, for messages: user, host, port and name.
std::string databaseName(const std::string& url);

}  // namespace server
