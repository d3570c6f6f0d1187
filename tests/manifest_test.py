#!/usr/bin/python3
"""The Kubernetes manifests in deploy/ parse, and every Job runs as the tested
container runs (tests/container_test.sh): the same user, capabilities,
privileges, seccomp profile, read-only root with /tmp apart, /proc unmasked
for the recorder's sandbox; and its command, run by a shell with a stand-in
recorder, records what its completion index names.

    manifest_test.py SOURCE_DIR
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

import yaml

source = sys.argv[1]
container_test = open(os.path.join(source, "tests/container_test.sh")).read()
# What the container test runs with: its uid and the flags of a locked run.
uid = int(re.search(r"^uid=(\d+)$", container_test, re.M).group(1))
locked = re.search(r"^locked=\((.*?)\)", container_test, re.M | re.S).group(1)
for flag in ("--cap-drop=all", "--security-opt no-new-privileges", "--read-only", "--tmpfs /tmp",
             '--user "$uid:$uid"'):
    assert flag in locked, "the container test no longer runs with " + flag
assert "unmask=/proc/*" in container_test
assert "seccomp" not in locked, "the container test runs the default seccomp profile"

jobs = []
services = []
scalers = []
for path in sorted(glob.glob(os.path.join(source, "deploy", "*.yaml"))):
    with open(path) as f:
        documents = [d for d in yaml.safe_load_all(f) if d]
    assert documents, path + " holds nothing"
    jobs += [(path, d) for d in documents if d["kind"] == "Job"]
    services += [(path, d, documents) for d in documents if d["kind"] == "Deployment"]
    scalers += [(path, d, documents) for d in documents if d["kind"] == "ScaledObject"]
assert len(jobs) >= 3, "a Job for pages, one for parts, one to join them"


def run_command(container, env, pages=None):
    """The container's command in a shell, with a stand-in for the programs."""
    with tempfile.TemporaryDirectory() as bin_dir:
        for program in ("vuzizeri", "vuzizeri-juntar"):
            stand_in = os.path.join(bin_dir, program)
            with open(stand_in, "w") as f:
                f.write('#!/bin/sh\necho "$(basename "$0")" "$@"\n')
            os.chmod(stand_in, 0o755)
        script = container["args"][0]
        if pages:
            pages_file = os.path.join(bin_dir, "pages.txt")
            with open(pages_file, "w") as f:
                f.write(pages)
            script = script.replace("/pages/pages.txt", pages_file)
        environment = {"PATH": bin_dir + ":/usr/bin:/bin"}
        environment.update({e["name"]: e["value"] for e in container.get("env", [])})
        environment.update(env)
        return subprocess.run(container["command"][:-1] + [container["command"][-1], script],
                              env=environment, capture_output=True, text=True, check=True).stdout


def check_locked_down(name, pod, container):
    """The tested container's settings; the pod's volumes and mounts."""
    context = pod["securityContext"]
    assert context["runAsNonRoot"] is True and context["runAsUser"] == uid, name
    assert context["runAsGroup"] == uid, name
    assert context["seccompProfile"] == {"type": "RuntimeDefault"}, name
    security = container["securityContext"]
    assert security["allowPrivilegeEscalation"] is False, name
    assert security["readOnlyRootFilesystem"] is True, name
    assert security["capabilities"] == {"drop": ["ALL"]}, name
    volumes = {v["name"]: v for v in pod["volumes"]}
    mounts = {m["mountPath"]: m["name"] for m in container["volumeMounts"]}
    return volumes, mounts


def check_sandboxed(name, pod, container, volumes, mounts):
    """The recorder's sandbox needs /proc unmasked, in a user namespace of
    the pod's own, and /tmp writable."""
    assert container["securityContext"]["procMount"] == "Unmasked" and pod["hostUsers"] is False, name
    assert "emptyDir" in volumes[mounts["/tmp"]], name


def environment(container, name):
    (variable,) = [e for e in container["env"] if e["name"] == name]
    return variable


# The service: alone, one replica that is replaced, never doubled, on its
# own claim; with the queue in PostgreSQL (its URL from a Secret), replicas
# on a claim they all mount. Its folder, port and token where the container
# gives them.
for path, deployment, documents in services:
    name = "%s: %s" % (os.path.basename(path), deployment["metadata"]["name"])
    spec = deployment["spec"]
    pod = spec["template"]["spec"]
    (container,) = pod["containers"]
    shared = any(e["name"] == "VUZIZERI_BANCO" for e in container["env"])
    if shared:
        assert "secretKeyRef" in environment(container, "VUZIZERI_BANCO")["valueFrom"], name
    else:
        assert spec["replicas"] == 1 and spec["strategy"]["type"] == "Recreate", name
    assert container["command"] == ["vuzizeri-servidor"], name
    args = container["args"]
    folder, port = args[args.index("--pasta") + 1], args[args.index("--porta") + 1]
    volumes, mounts = check_locked_down(name, pod, container)
    check_sandboxed(name, pod, container, volumes, mounts)
    claim = volumes[mounts[folder]]["persistentVolumeClaim"]["claimName"]
    (claimed,) = [d for d in documents
                  if d["kind"] == "PersistentVolumeClaim" and d["metadata"]["name"] == claim]
    assert claimed["spec"]["accessModes"] == ["ReadWriteMany" if shared else "ReadWriteOnce"], name
    assert [p["containerPort"] for p in container["ports"]] == [int(port)], name
    token = environment(container, "VUZIZERI_TOKEN")
    assert "secretKeyRef" in token["valueFrom"], name + ": the token comes from a Secret"
    assert pod["terminationGracePeriodSeconds"] >= 30, name + ": time to put recordings back"
    assert container["readinessProbe"]["httpGet"]["path"] == "/", name
assert services, "a Deployment for the service"

# KEDA scales the replicas on the queue's length, read with their own URL.
for path, scaler, documents in scalers:
    name = "%s: %s" % (os.path.basename(path), scaler["metadata"]["name"])
    (target,) = [d for p, d, _ in services if p == path
                 and d["metadata"]["name"] == scaler["spec"]["scaleTargetRef"]["name"]]
    (container,) = target["spec"]["template"]["spec"]["containers"]
    (trigger,) = scaler["spec"]["triggers"]
    assert trigger["type"] == "postgresql", name
    assert environment(container, trigger["metadata"]["connectionFromEnv"]), name
    assert re.search(r"FROM gravacoes WHERE estado IN \('na-fila'", trigger["metadata"]["query"]), name
    assert int(trigger["metadata"]["targetQueryValue"]) >= 1, name
    assert 1 <= scaler["spec"]["minReplicaCount"] <= scaler["spec"]["maxReplicaCount"], name
assert scalers, "a ScaledObject for the replicas"

for path, job in jobs:
    name = "%s: %s" % (os.path.basename(path), job["metadata"]["name"])
    pod = job["spec"]["template"]["spec"]
    assert pod["restartPolicy"] == "Never", name
    (container,) = pod["containers"]
    volumes, mounts = check_locked_down(name, pod, container)
    assert "persistentVolumeClaim" in volumes[mounts["/out"]], name + ": the videos outlive the pod"
    requests = container["resources"]["requests"]
    assert re.fullmatch(r"\d+(\.\d+)?|\d+m", str(requests["cpu"])), name + ": " + str(requests)
    assert re.fullmatch(r"\d+(Mi|Gi)", str(requests["memory"])), name + ": " + str(requests)
    if "vuzizeri-juntar" in container["args"][0]:
        out = run_command(container, {})
        assert out.startswith("vuzizeri-juntar /out/gravacao.mp4 /out/parte-"), name + ": " + out
        continue
    check_sandboxed(name, pod, container, volumes, mounts)
    assert int(container["resources"]["limits"]["memory"][:-2]) > 0, name
    spec = job["spec"]
    assert spec["completionMode"] == "Indexed", name
    if "--trecho" in container["args"][0]:
        parts = int({e["name"]: e["value"] for e in container["env"]}["PARTS"])
        assert spec["completions"] == parts, name + ": one completion per part"
        out = run_command(container, {"JOB_COMPLETION_INDEX": "2"})
        assert out == ("vuzizeri --quadro-a-quadro --trecho 3/%d https://example.org/ 390 844 3 47 "
                       "/out/parte-003.mp4\n" % parts), name + ": " + out
    else:
        # The list rides in a ConfigMap beside the Job.
        with open(path) as f:
            (pages,) = [d["data"]["pages.txt"] for d in yaml.safe_load_all(f) if d and d["kind"] == "ConfigMap"]
        assert spec["completions"] == len(pages.splitlines()), name + ": one completion per page"
        out = run_command(container, {"JOB_COMPLETION_INDEX": "1"}, pages)
        assert out == "vuzizeri https://www.debian.org/ 390 844 3 47 /out/debian.mp4\n", name + ": " + out
print("%d Jobs, %d Deployments and %d ScaledObjects checked" % (len(jobs), len(services), len(scalers)))
