import java.io.ByteArrayOutputStream;
import java.util.HexFormat;
import kelvor.jdbc.CharValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.MemoryServices;
import kelvor.jdbc.NumberValue;
import kelvor.jdbc.ObjectValue;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.kelcore.KelvorType;
import kelvor.jdbc.kelcore.KelvorTypeADT;
import kelvor.jdbc.kelcore.KelvorTypeCOLLECTION;

/**
 * kelcore from Java: defines an object type DEMO.SCORECARD (NAME VARCHAR(40), SCORES a
 * collection of NUMBER) and serves it through a Java connection, writes an object with its
 * nested collection as a pickled image, prints the image, reads it back, and reads a slice of
 * the scores straight into an int[].
 */
public final class KelcoreExample {
  private KelcoreExample() {}

  // The type descriptor segments, as a server sends them.
  //   object := header(18) entry* 42 description*        (42: a collection attribute follows)
  //   header := size(4) 38 version 0 0 slots(2) 0 41 0 0 0 0 0 0
  private static byte[] header(int size, int slots) {
    return new byte[] {0, 0, (byte) (size >> 8), (byte) size, 38, 1, 0, 0, 0, (byte) slots, 0, 41, 0, 0, 0, 0, 0, 0};
  }

  /** SCORES_T: an unbounded collection of NUMBER. */
  static byte[] scoresTds() {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.writeBytes(header(32, 0));
    out.writeBytes(new byte[] {28, 0, 0, 0, 29, 0, 0, 0, 0, 1});  // element entry at 29; kind 1
    out.write(42);
    out.writeBytes(new byte[] {3, 0, (byte) 129});  // NUMBER, no precision or scale
    return out.toByteArray();
  }

  /** SCORECARD: NAME VARCHAR(40) in UTF-8, SCORES of SCORES_T. */
  static byte[] scorecardTds() {
    byte[] scores = scoresTds();
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    out.writeBytes(header(31 + 1 + scores.length, 2));
    out.writeBytes(new byte[] {7, 0, 40, 1, 0, 106});  // VARCHAR(40), form 1, charset 106
    out.writeBytes(new byte[] {27, 0, 0, 0, 31, (byte) 0xFB});  // a collection, described at 31
    out.write(42);
    out.write(0);
    out.writeBytes(scores);
    return out.toByteArray();
  }

  public static void main(String[] args) {
    MemoryServices services = new MemoryServices();
    services.addType("DEMO.SCORES_T", scoresTds(), null, new String[] {"", "NUMBER", ""});
    services.addType("DEMO.SCORECARD", scorecardTds(), null,
        new String[] {"NAME", "VARCHAR2", "SYS", "SCORES", "SCORES_T", "DEMO"});

    try (Connection conn = new Connection(services)) {
      KelvorTypeADT card = KelvorTypeADT.forName("DEMO.SCORECARD", conn);
      System.out.println("type DEMO.SCORECARD, " + card.getNumAttributes() + " attributes:");
      for (int i = 1; i <= card.getNumAttributes(); ++i) {
        System.out.println("  " + card.getAttributeName(i) + " " + card.getAttributeTypeName(i)
            + " (type code " + card.getAttributeType(i - 1).getTypeCode() + ")");
      }

      // Write: Java's own objects convert through the descriptors.
      int[] scores = {90, 85, 77, 100, 64, 58};
      Object value = card.toSqlValue(new Object[] {"Ada Lovelace \u2013 \u00e9l\u00e8ve", scores});
      byte[] image = card.toImage(value);
      System.out.println("pickled image, " + image.length + " bytes:");
      System.out.println("  " + HexFormat.of().formatHex(image));

      // Read back as the driver's value classes.
      ObjectValue back = (ObjectValue) card.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE);
      System.out.println("read back: NAME = " + ((CharValue) back.getAttribute(0)).stringValue());
      Object[] read = (Object[]) ((ArrayValue) back.getAttribute(1)).getElements();
      StringBuilder all = new StringBuilder();
      for (Object n : read) {
        all.append(' ').append(((NumberValue) n).bigDecimalValue());
      }
      System.out.println("           SCORES =" + all);

      // A slice of the collection's own image, straight into an int[].
      KelvorTypeCOLLECTION scoresType = KelvorTypeCOLLECTION.forName("DEMO.SCORES_T", conn);
      byte[] scoresImage = scoresType.toImage(back.getAttribute(1));
      int[] slice = scoresType.readInts(scoresImage, 0, 2, 3);
      System.out.println("scores 2..4 as int[]: " + java.util.Arrays.toString(slice));
      if (slice.length != 3 || slice[0] != 85 || slice[2] != 100) {
        throw new AssertionError("unexpected slice");
      }
    }
  }
}
