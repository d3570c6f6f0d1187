// vuzizeri-mcp driven by the official MCP SDK's client over stdio, as an
// agent would: node client_test.mjs SERVER WORK_DIR
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

const [server, work] = process.argv.slice(2);
const folder = path.join(work, "pasta");
fs.mkdirSync(folder, { recursive: true });
const page = path.join(folder, "page.html");
fs.writeFileSync(page, "<!doctype html><body style='margin:0;height:200px;background:#36c'>" +
  "<button id=b>ok</button></body>");
const url = "file://" + page;

const client = new Client({ name: "teste", version: "1.0.0" });
await client.connect(new StdioClientTransport({ command: server, args: ["--pasta", folder] }));

// The four tools, each with an object schema.
const { tools } = await client.listTools();
assert.deepEqual(tools.map((t) => t.name).sort(),
  ["aparelhos", "gravar", "validar_roteiro", "verificar"]);
for (const t of tools) assert.equal(t.inputSchema.type, "object", t.name);

const devices = await client.callTool({ name: "aparelhos", arguments: {} });
assert.ok(JSON.parse(devices.content[0].text).some((d) => d.nome === "iphone-15"));

// A bad storyboard names each bad line.
const bad = await client.callTool({ name: "validar_roteiro",
  arguments: { roteiro: "pausa 1\nvoar alto\ntocar\nrolar 100\n" } });
assert.equal(bad.isError, true);
assert.match(bad.content[0].text, /linha 2: passo desconhecido: voar/);
assert.match(bad.content[0].text, /linha 3:/);
const good = await client.callTool({ name: "validar_roteiro", arguments: { roteiro: "pausa 1\n" } });
assert.equal(good.isError, false);

// A recording: its report, a PNG, its path, and progress on the way.
let progress = 0;
const recorded = await client.callTool(
  { name: "gravar", arguments: { url, saida: "v.mp4", destino: "vertical-1080",
                                 roteiro: "tocar #b\npausa 1\n" } },
  undefined, { onprogress: () => progress++, timeout: 240000, resetTimeoutOnProgress: true });
assert.equal(recorded.isError, false, JSON.stringify(recorded.content));
const report = JSON.parse(recorded.content[0].text);
assert.equal(report.arquivo, path.join(folder, "v.mp4"));
assert.equal(report.destino.nome, "vertical-1080");
assert.ok(fs.statSync(report.arquivo).size > 0);
const image = recorded.content.find((c) => c.type === "image");
assert.equal(image.mimeType, "image/png");
assert.equal(Buffer.from(image.data, "base64").subarray(1, 4).toString(), "PNG");
assert.ok(recorded.content.some((c) => c.type === "text" && c.text === "arquivo: " + report.arquivo));
assert.ok(progress >= 1, "at least one progress notification");

const checked = await client.callTool({ name: "verificar",
  arguments: { arquivo: "v.mp4", destino: "vertical-1080" } });
assert.equal(checked.isError, false);
assert.match(checked.content[0].text, /^ok: /);

// Refused, nothing written: a storyboard that reads the server's environment,
// reaches files outside the folder or runs for ever; an output or a page
// outside the folder; positional words in opcoes; a device and sizes at once;
// recorders by the dozen.
for (const [more, why] of [[{ roteiro: "digitar #b $HOME\n" }, /--permitir-variavel HOME/],
                           [{ roteiro: "ir file:///etc/hosts\n" }, /fora da pasta/],
                           [{ roteiro: "pausa 600\npausa 1\n" }, /600 s/],
                           [{ saida: "../fora.mp4" }, /fica fora da pasta/],
                           [{ saida: "/tmp/fora.mp4" }, /fica fora da pasta/],
                           [{ url: "file:///etc/hosts" }, /fora da pasta/],
                           [{ opcoes: ["--", "file:///etc/hostname", "390", "600", "1", "20", "/tmp/x.mp4"] }, /opcoes: --/],
                           [{ opcoes: ["--esconder", ".a", "/tmp/x.mp4"] }, /x\.mp4/],
                           [{ opcoes: ["--paralelo", "64"] }, /--paralelo/],
                           [{ opcoes: ["--textos", "/etc/hostname"] }, /--textos: .*fora da pasta/],
                           [{ aparelho: undefined, largura: 390, altura: 600, escala: 1, topo: 20,
                              opcoes: ["--aparelho", "iphone-15"] }, /--aparelho/],
                           [{ largura: 390, altura: 600, escala: 1, topo: 20 }, /aparelho/]]) {
  const refused = await client.callTool({ name: "gravar",
    arguments: { url, saida: "r.mp4", aparelho: "iphone-15", quadro_a_quadro: true, ...more } });
  assert.equal(refused.isError, true, JSON.stringify(more));
  assert.match(refused.content[0].text, why);
}
assert.ok(!fs.existsSync(path.join(folder, "r.mp4")) && !fs.existsSync("/tmp/x.mp4") &&
          !fs.existsSync(path.join(work, "fora.mp4")));

// A recording cancelled ends; the server answers the next call. While it
// runs, its file is no other call's.
const abort = new AbortController();
const slow = { url, saida: "cancelada.mp4", aparelho: "iphone-15", quadro_a_quadro: true };
let started;
const begun = new Promise((resolve) => (started = resolve));
const long = client.callTool({ name: "gravar", arguments: slow },
  undefined, { signal: abort.signal, timeout: 240000, onprogress: () => started() });
await begun;
const twice = await client.callTool({ name: "gravar", arguments: slow });
assert.equal(twice.isError, true);
assert.match(twice.content[0].text, /cancelada\.mp4/);
abort.abort("já chega");
await assert.rejects(long);

// An unknown tool is an error, and the server goes on.
await assert.rejects(client.callTool({ name: "voar", arguments: {} }), /ferramenta desconhecida/);
assert.equal((await client.listTools()).tools.length, 4);
await client.close();
await new Promise((resolve) => setTimeout(resolve, 2000));
assert.deepEqual(fs.readdirSync(folder).filter((f) => f.includes("cancelada")), [],
  "a cancelled recording leaves nothing");

// Malformed messages get JSON-RPC errors; the server lives on. Ids come back
// as they were sent; a name the operator allows may be read; recordings
// past --simultaneas are refused.
const raw = spawn(server, ["--pasta", folder, "--permitir-variavel", "HOME", "--simultaneas", "1"],
                  { stdio: ["pipe", "pipe", "inherit"] });
let answers = "";
raw.stdout.on("data", (d) => (answers += d));
const ping = (id) => `{"jsonrpc": "2.0", "id": ${id}, "method": "ping"}\n`;
raw.stdin.write("{not json\n[1, 2]\n{\"jsonrpc\": \"2.0\", \"id\": 7, \"method\": \"nada\"}\n" +
  ping(8) + `{"id": ${"[".repeat(100000)}\n` + ["1.5", "18446744073709551616", "\"a\"", "null", "true", "{}"].map(ping).join("") +
  `{"jsonrpc": "2.0", "id": 9, "method": "tools/call", "params": {"name": "validar_roteiro", "arguments": {"roteiro": "digitar #b $HOME"}}}\n` +
  [10, 11].map((id) => JSON.stringify({ jsonrpc: "2.0", id, method: "tools/call",
    params: { name: "gravar", arguments: { ...slow, saida: `s${id}.mp4` } } }) + "\n").join(""));
raw.stdin.end();
await new Promise((resolve) => raw.on("close", resolve));
const texts = answers.trim().split("\n");
const lines = texts.map((l) => JSON.parse(l));
assert.equal(lines[0].error.code, -32700);
assert.equal(lines[1].error.code, -32600);
assert.deepEqual([lines[2].id, lines[2].error.code], [7, -32601]);
assert.deepEqual([lines[3].id, lines[3].result], [8, {}]);
assert.deepEqual([lines[4].id, lines[4].error.code], [null, -32700]);
assert.match(texts[5], /"id": 1\.5,/);
assert.match(texts[6], /"id": 18446744073709551616,/);
assert.deepEqual(lines.slice(7, 9).map((l) => [l.id, l.result]), [["a", {}], [null, {}]]);
assert.deepEqual(lines.slice(9, 11).map((l) => [l.id, l.error.code]), [[null, -32600], [null, -32600]]);
assert.deepEqual([lines[11].id, lines[11].result.isError], [9, false]);
const second = lines.find((l) => l.id === 11);
assert.equal(second.result.isError, true);
assert.match(second.result.content[0].text, /--simultaneas 1/);
console.log("vuzizeri-mcp: every check held");
