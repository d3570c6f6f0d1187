# The recorder locked down: the Debian package on Debian 12, run as a user
# of its own. Build it beside the package (cpack -G DEB in the build folder):
#   podman build --build-arg BASE=debian:12 -t gravador .
# and run it with nothing loosened but the /proc masks, which bubblewrap (the
# web processes' sandbox) needs lifted to mount a /proc of its own:
#   podman run --rm --user 10001:10001 --cap-drop=all \
#     --security-opt no-new-privileges --security-opt 'unmask=/proc/*' \
#     --read-only --tmpfs /tmp -v "$PWD/videos:/out" \
#     gravador https://example.org/ 390 844 3 47 /out/example.mp4
# tessane, vuzizeri-many, vuzizeri-verificar and vuzizeri-mcp are there too:
# --entrypoint tessane. The HTTP service is the second entry point, its queue
# and videos on a volume:
#   podman run -d --user 10001:10001 --cap-drop=all --security-opt no-new-privileges \
#     --security-opt 'unmask=/proc/*' --read-only --tmpfs /tmp -v vuzizeri:/srv \
#     -e VUZIZERI_TOKEN -p 8080:8080 --entrypoint vuzizeri-servidor gravador \
#     --porta 8080 --pasta /srv
ARG BASE=debian:12
FROM ${BASE}
COPY vuzizeri_*.deb /tmp/pkg/
RUN apt-get update \
 && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/pkg/vuzizeri_*.deb \
 && rm -rf /var/lib/apt/lists/* /tmp/pkg \
 && useradd --uid 10001 --user-group --no-create-home --home-dir /nonexistent \
      --shell /usr/sbin/nologin recorder
USER 10001:10001
WORKDIR /out
EXPOSE 8080
ENTRYPOINT ["vuzizeri"]
