#include "vuzizeri/server/web_page.h"

namespace server {
namespace {

constexpr char kHead[] = R"(<!doctype html>
<html lang="pt-BR">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>vuzizeri</title>
<style>
  body { font: 15px/1.4 system-ui, sans-serif; max-width: 56rem; margin: 2rem auto; padding: 0 1rem; color: #1d1d1f; }
  h1 { font-size: 1.4rem; }
  form { display: grid; grid-template-columns: 9rem 1fr; gap: .5rem 1rem; align-items: center; }
  form textarea { min-height: 6rem; font-family: ui-monospace, monospace; }
  form button { grid-column: 2; justify-self: start; padding: .4rem 1.4rem; }
  #aviso { grid-column: 2; color: #b00020; min-height: 1.2em; }
  table { width: 100%; border-collapse: collapse; margin-top: 1.5rem; }
  td, th { border-top: 1px solid #ddd; padding: .4rem; vertical-align: top; text-align: left; }
  form input[type=checkbox] { justify-self: start; }
  video { max-width: 14rem; max-height: 28rem; display: block; }
  .falhou { color: #b00020; }
</style>
</head>
<body>
<h1>vuzizeri: páginas como vídeos de tela de telefone</h1>
<form id="pedido">
  <label for="token">Token</label><input id="token" type="password" autocomplete="off" required>
  <label for="url">URL</label><input id="url" type="url" placeholder="https://exemplo.com.br" required>
  <label for="aparelho">Aparelho</label><select id="aparelho"></select>
  <label for="quadro">Quadro a quadro</label><input id="quadro" type="checkbox" checked>
  <label for="roteiro">Roteiro</label><textarea id="roteiro" placeholder="(opcional) um passo por linha"></textarea>
  <button type="submit">Gravar</button>
  <div id="aviso" role="alert"></div>
</form>
<table>
  <thead><tr><th>Página</th><th>Estado</th><th>Vídeo</th></tr></thead>
  <tbody id="gravacoes"></tbody>
</table>
<script>
const aparelhos = )";

constexpr char kTail[] = R"(;
const $ = (id) => document.getElementById(id);
for (const a of aparelhos) {
  const option = new Option(`${a.nome} (${a.largura}×${a.altura})`, a.nome);
  $("aparelho").add(option);
}
$("token").value = sessionStorage.getItem("token") || "";
const headers = () => ({ Authorization: "Bearer " + $("token").value });
const rows = new Map();

function row(job) {
  let r = rows.get(job.id);
  if (!r) {
    r = document.createElement("tr");
    r.dataset.id = job.id;
    for (let i = 0; i < 3; i++) r.appendChild(document.createElement("td"));
    r.cells[0].textContent = job.url;
    $("gravacoes").prepend(r);
    rows.set(job.id, r);
  }
  const estado = job.estado === "gravando" ? `gravando (${Math.floor(job.progresso)} s)`
               : job.estado === "falhou" ? `falhou: ${job.erro}` : job.estado;
  r.cells[1].textContent = estado;
  r.cells[1].className = job.estado;
  r.dataset.estado = job.estado;
  if (job.video && !r.cells[2].firstChild) {
    const video = document.createElement("video");
    video.controls = true;
    video.muted = true;
    video.playsInline = true;
    video.preload = "metadata";
    video.src = job.video;
    const link = document.createElement("a");
    link.href = job.video;
    link.download = "";
    link.textContent = "Baixar";
    r.cells[2].append(video, link);
  }
}

async function refresh() {
  if (!$("token").value) return;
  for (let next = "/v1/gravacoes"; next;) {
    const answer = await fetch(next, { headers: headers() });
    if (!answer.ok) { $("aviso").textContent = (await answer.json()).erro; return; }
    const page = await answer.json();
    for (const job of page.gravacoes) row(job);
    next = page.proxima;
  }
}

$("pedido").addEventListener("submit", async (event) => {
  event.preventDefault();
  sessionStorage.setItem("token", $("token").value);
  const pedido = { url: $("url").value, aparelho: $("aparelho").value,
                   quadro_a_quadro: $("quadro").checked };
  if ($("roteiro").value.trim()) pedido.roteiro = $("roteiro").value;
  const answer = await fetch("/v1/gravacoes", {
    method: "POST", headers: { ...headers(), "Content-Type": "application/json" },
    body: JSON.stringify(pedido) });
  const body = await answer.json();
  $("aviso").textContent = answer.ok ? "" : body.erro;
  if (answer.ok) refresh();
});
setInterval(() => refresh().catch((e) => { $("aviso").textContent = String(e); }), 1000);
refresh();
</script>
</body>
</html>
)";

}  // namespace

std::string webPage(const std::string& devicesJson) {
  // Inside a script element nothing may close it.
  std::string devices;
  for (char c : devicesJson) devices += c == '<' ? std::string("\\u003c") : std::string(1, c);
  return kHead + devices + kTail;
}

}  // namespace server
