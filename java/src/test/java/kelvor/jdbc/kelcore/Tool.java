package kelvor.jdbc.kelcore;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.HexFormat;
import java.util.List;

/** The images the C++ API writes, through the kelcore tool. */
final class Tool {
  private Tool() {}

  /** The pickled image of example `name`'s JSON value. */
  static byte[] encode(String name) {
    String dir = Fixtures.EXAMPLES.toString();
    List<String> command = new java.util.ArrayList<>(List.of(System.getProperty("kelcore.tool", "kelcore"),
        "encode", "--tds", dir + "/" + name + ".tds", "--value", "@" + dir + "/" + name + ".json", "--hex"));
    if (java.nio.file.Files.exists(Fixtures.EXAMPLES.resolve(name + ".names.json"))) {
      command.addAll(List.of("--names", "@" + dir + "/" + name + ".names.json"));
    }
    try {
      ProcessBuilder builder = new ProcessBuilder(command).redirectErrorStream(true);
      // A sanitizer run preloads its runtime into the VM; the tool carries its own.
      builder.environment().remove("LD_PRELOAD");
      Process p = builder.start();
      String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8).trim();
      if (p.waitFor() != 0) {
        throw new IllegalStateException("kelcore encode failed: " + out);
      }
      return HexFormat.of().parseHex(out);
    } catch (IOException e) {
      throw new IllegalStateException(e);
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
      throw new IllegalStateException(e);
    }
  }
}
